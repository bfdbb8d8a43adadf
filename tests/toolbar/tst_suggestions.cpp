#include "support/testmain.h"
#include "toolbarfixture.h"
#include "views/catalogue/searchview.h"
#include "views/contentview.h"
#include "views/navigationstack.h"
#include "views/toolbar/searchfield.h"
#include "views/toolbar/suggestlayer.h"
#include "views/toolbar/suggestpanel.h"
#include "views/toolbar/suggestrow.h"
#include "views/toolbar/toolbarbutton.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTextBlock>
#include <QTextDocument>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

QLineEdit *edit(const ContentView &window)
{
    return window.searchField()->lineEdit();
}

// Types as a user does, one key at a time with the given pause between keys.
// Any character, CJK and ideographic spaces included, as a key event carrying that text.
void type(const ContentView &window, const QString &text, int pauseMs = 0)
{
    for (const QChar c : text) {
        if (pauseMs > 0)
            QTest::qWait(pauseMs);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit(window), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit(window), &release);
    }
}

void key(const ContentView &window, Qt::Key k)
{
    QTest::keyClick(edit(window), k);
}

// Whether the panel is up, also while the window itself is not on screen.
bool panelUp(const ContentView &window)
{
    return !window.suggestLayer()->isHidden();
}

QStringList shownDids(const ContentView &window)
{
    QStringList dids;
    if (!panelUp(window))
        return dids;
    for (const SuggestRow *row : window.suggestPanel()->rows())
        dids << row->hit().did;
    return dids;
}

QList<bool> rowHighlights(const ContentView &window)
{
    QList<bool> states;
    for (const SuggestRow *row : window.suggestPanel()->rows())
        states << row->isActive();
    return states;
}

// A site whose search service answers every query with three hits named after it.
void answerEveryQuery(FakeSite &site, int hits = 3, int delayMs = 0)
{
    site.route("POST", u"/search"_s, [hits, delayMs](const FakeSite::Request &request) {
        const QString q = QJsonDocument::fromJson(request.body).object().value(u"q"_s).toString();
        return FakeSite::json(hitsFor(q, hits)).withDelay(delayMs);
    });
}

bool panelShowsFor(const ContentView &window, const QString &query)
{
    return waitFor([&] {
        const QStringList dids = shownDids(window);
        return !dids.isEmpty() && dids.first() == query + u"1"_s;
    });
}

}

class SuggestionsTest : public QObject
{
    Q_OBJECT

private slots:
    void fastTypingSendsOneRequest()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        type(window, u"abc"_s, 50);
        QVERIFY(panelShowsFor(window, u"abc"_s));
        QTest::qWait(250);
        QCOMPARE(suggestQueries(f.site), QStringList{u"abc"_s});

        const FakeSite::Request request = f.site.requestsTo(u"/search"_s).first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.value(u"limit"_s).toInt(), 10);
        QCOMPARE(body.value(u"highlightPreTag"_s).toString(), u"<b>"_s);
        QCOMPARE(body.value(u"highlightPostTag"_s).toString(), u"</b>"_s);
    }

    // Nothing goes out before the field has been still for the debounce.
    void waitsForThePause()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        type(window, u"a"_s);
        QTest::qWait(80);
        QVERIFY(f.site.requestsTo(u"/search"_s).isEmpty());
        QVERIFY(f.site.waitForRequests(1, 1000));
        QCOMPARE(suggestQueries(f.site), QStringList{u"a"_s});
    }

    void queryIsTrimmed_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("query");
        QTest::newRow("spaces and tab") << u"  星际 \t"_s << u"星际"_s;
        QTest::newRow("ideographic spaces") << u"\u3000星际\u3000"_s << u"星际"_s;
        QTest::newRow("inner space kept") << u" 星际 穿越 "_s << u"星际 穿越"_s;
    }

    void queryIsTrimmed()
    {
        QFETCH(QString, typed);
        QFETCH(QString, query);
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        window.setSearchText(typed);
        QVERIFY(panelShowsFor(window, query));
        QCOMPARE(suggestQueries(f.site), QStringList{query});
        // The field itself keeps what was typed.
        QCOMPARE(window.searchText(), typed);
    }

    void blankTextAsksNothingAndHidesThePanel()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        type(window, u"   "_s);
        QTest::qWait(kQuietMs);
        QVERIFY(f.site.requestsTo(u"/search"_s).isEmpty());
        QVERIFY(!panelUp(window));

        window.setSearchText(u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        // Blank again: the panel goes at once, with nothing asked.
        edit(window)->selectAll();
        type(window, u"\u3000"_s);
        QVERIFY(!panelUp(window));
        QVERIFY(window.suggestions().isEmpty());
        QCOMPARE(window.activeSuggest(), -1);
        QTest::qWait(kQuietMs);
        QCOMPARE(suggestQueries(f.site), QStringList{u"ab"_s});
    }

    // The rows for "a" stay up while "ab" is asked for, and are replaced by its answer.
    void previousRowsStayUntilTheNewAnswer()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        type(window, u"a"_s);
        QVERIFY(panelShowsFor(window, u"a"_s));
        f.site.route("POST", u"/search"_s, FakeSite::json(hitsFor(u"ab"_s, 3)).withDelay(200));
        type(window, u"b"_s);
        QVERIFY(f.site.waitForRequests(2));
        QCOMPARE(shownDids(window), (QStringList{u"a1"_s, u"a2"_s, u"a3"_s}));
        QVERIFY(panelShowsFor(window, u"ab"_s));
    }

    // A slow answer for "ab" that comes after "abc" has been answered must not replace it.
    void staleAnswerIsDropped()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route("POST", u"/search"_s, [](const FakeSite::Request &request) {
            const QString q = QJsonDocument::fromJson(request.body).object().value(u"q"_s).toString();
            return FakeSite::json(hitsFor(q, 2)).withDelay(q == u"ab"_s ? 300 : 0);
        });
        FinishedReplies replies(f.manager);
        ContentView window;
        quickenSearch(window);
        type(window, u"ab"_s);
        QVERIFY(f.site.waitForRequests(1));
        type(window, u"c"_s);
        QVERIFY(panelShowsFor(window, u"abc"_s));
        QCOMPARE(replies.spy.count(), 1);
        QVERIFY(replies.reach(2)); // the slow answer for "ab" is in
        QCOMPARE(suggestQueries(f.site), (QStringList{u"ab"_s, u"abc"_s}));
        QCOMPARE(shownDids(window), (QStringList{u"abc1"_s, u"abc2"_s}));
    }

    // The text went blank and back while "ab" was on its way: the answer is for a text that is
    // no longer the field's lookup, even though the text matches again.
    void answerAfterNewerEditIsDropped()
    {
        ShellFixture f;
        QVERIFY(f.start());
        // The second lookup leaves a debounce after the first was asked, so its answer, slower
        // than the first one's, comes after it.
        f.site.enqueue("POST", u"/search"_s, FakeSite::json(hitsFor(u"old"_s, 2)).withDelay(150));
        f.site.route("POST", u"/search"_s, FakeSite::json(hitsFor(u"new"_s, 3)).withDelay(200));
        FinishedReplies replies(f.manager);
        ContentView window;
        quickenSearch(window);
        type(window, u"ab"_s);
        QVERIFY(f.site.waitForRequests(1));
        window.setSearchText(u"ab "_s);
        QVERIFY(replies.reach(1));
        // The first answer has arrived and was thrown away.
        QCOMPARE(replies.spy.count(), 1);
        QVERIFY(window.suggestions().isEmpty());
        QVERIFY(panelShowsFor(window, u"new"_s));
    }

    void failedLookupHidesThePanel_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::newRow("503") << FakeSite::json("{}", 503);
        QTest::newRow("not json") << FakeSite::text("<html>");
        QTest::newRow("no hits") << FakeSite::json(R"({"total":0})");
        QTest::newRow("cut off") << FakeSite::json(hitsFor(u"x"_s, 3)).closingMidBody();
    }

    void failedLookupHidesThePanel()
    {
        QFETCH(FakeSite::Reply, reply);
        ShellFixture f;
        QVERIFY(f.start());
        f.site.enqueue("POST", u"/search"_s, FakeSite::json(hitsFor(u"ab"_s, 3)));
        f.site.route("POST", u"/search"_s, reply);
        ContentView window;
        quickenSearch(window);
        type(window, u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        key(window, Qt::Key_Down);
        type(window, u"c"_s);
        QVERIFY(waitFor([&] { return !panelUp(window); }));
        QVERIFY(window.suggestions().isEmpty());
        QCOMPARE(window.activeSuggest(), -1);
    }

    void arrowsWrapAround()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        // Arrows with nothing to move through do nothing, and never move the caret.
        type(window, u"xy"_s);
        edit(window)->setCursorPosition(1);
        key(window, Qt::Key_Down);
        QCOMPARE(window.activeSuggest(), -1);
        QCOMPARE(edit(window)->cursorPosition(), 1);
        QVERIFY(panelShowsFor(window, u"xy"_s));

        key(window, Qt::Key_Down);
        QCOMPARE(window.activeSuggest(), 0);
        QCOMPARE(rowHighlights(window), (QList<bool>{true, false, false}));
        key(window, Qt::Key_Down);
        key(window, Qt::Key_Down);
        QCOMPARE(window.activeSuggest(), 2);
        key(window, Qt::Key_Down);
        QCOMPARE(window.activeSuggest(), 0);
        key(window, Qt::Key_Up);
        QCOMPARE(window.activeSuggest(), 2);
        QCOMPARE(rowHighlights(window), (QList<bool>{false, false, true}));
        QCOMPARE(edit(window)->cursorPosition(), 1);

        // Up from none goes to the last row.
        key(window, Qt::Key_Escape);
        QCOMPARE(window.activeSuggest(), -1);
        key(window, Qt::Key_Up);
        QCOMPARE(window.activeSuggest(), 2);
    }

    // Return on a highlighted row opens it on top of whatever is there; the results stay below.
    void returnOpensTheHighlightedRow()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        window.setSearchText(u"星际"_s);
        window.submitSearch();
        QVERIFY(waitFor([&] { return panelUp(window); }));
        QVERIFY(qobject_cast<SearchView *>(window.navigationStack()->root()));

        edit(window)->selectAll();
        type(window, u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        key(window, Qt::Key_Down);
        key(window, Qt::Key_Down);
        key(window, Qt::Key_Return);
        QCOMPARE(window.path(), QList<Route>{Route::detail(u"ab2"_s)});
        QCOMPARE(window.searchText(), QString());
        QCOMPARE(edit(window)->text(), QString());
        QVERIFY(!panelUp(window));
        QVERIFY(window.suggestions().isEmpty());
        QCOMPARE(window.submittedSearch(), u"星际"_s);
        auto *results = qobject_cast<SearchView *>(window.navigationStack()->root());
        QVERIFY(results);
        QCOMPARE(results->query(), u"星际"_s);
    }

    // Return with no highlight submits: the results become the root, pushed pages go, the field
    // keeps its text.
    void returnWithoutHighlightSubmits()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        window.push(Route::detail(u"1"_s));
        window.push(Route::login());
        type(window, u" 星际 "_s);
        QVERIFY(panelShowsFor(window, u"星际"_s));
        key(window, Qt::Key_Return);
        QCOMPARE(window.submittedSearch(), u"星际"_s);
        QCOMPARE(window.path(), QList<Route>{});
        QCOMPARE(window.searchText(), u" 星际 "_s);
        QVERIFY(!panelUp(window));
        auto *results = qobject_cast<SearchView *>(window.navigationStack()->root());
        QVERIFY(results);
        QCOMPARE(results->query(), u"星际"_s);
        QCOMPARE(window.navigationStack()->currentPage(), results);

        // A new query keeps the same results screen, which searches again.
        edit(window)->selectAll();
        type(window, u"穿越"_s);
        window.searchField()->searchButton()->click();
        QCOMPARE(window.navigationStack()->root(), results);
        QCOMPARE(results->query(), u"穿越"_s);

        // A blank submission gives the section's screen back.
        window.setSearchText(u"  "_s);
        key(window, Qt::Key_Return);
        QCOMPARE(window.submittedSearch(), QString());
        QCOMPARE(rootTitle(window), u"首页"_s);
    }

    void escapeThenReturnSubmits()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        type(window, u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        key(window, Qt::Key_Down);
        key(window, Qt::Key_Escape);
        QVERIFY(!panelUp(window));
        QCOMPARE(window.activeSuggest(), -1);
        QCOMPARE(window.suggestions().size(), 3);
        // The arrows still move the hidden highlight; Return still submits.
        key(window, Qt::Key_Down);
        QCOMPARE(window.activeSuggest(), 0);
        QVERIFY(!panelUp(window));
        key(window, Qt::Key_Return);
        QCOMPARE(window.path(), QList<Route>{});
        QCOMPARE(window.submittedSearch(), u"ab"_s);
    }

    // A lookup still waiting when the search is submitted is not cancelled: its answer shows the
    // panel again over the results.
    void pendingLookupShowsAfterSubmit()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        type(window, u"ab"_s);
        key(window, Qt::Key_Return);
        QCOMPARE(window.submittedSearch(), u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        QCOMPARE(suggestQueries(f.site), QStringList{u"ab"_s});
    }

    void clickingARowOpensIt()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        window.resize(ContentView::kDefaultWidth, ContentView::kDefaultHeight);
        window.show();
        type(window, u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        SuggestRow *third = window.suggestPanel()->rows().at(2);
        QTest::mouseClick(third, Qt::LeftButton, {}, third->rect().center());
        QCOMPARE(window.path(), QList<Route>{Route::detail(u"ab3"_s)});
        QVERIFY(!panelUp(window));
        QCOMPARE(window.searchText(), QString());
    }

    // A click beside the panel closes it and keeps the rows for the arrows; clicks on the toolbar
    // are not covered.
    void clickOutsideCloses()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        window.resize(ContentView::kDefaultWidth, ContentView::kDefaultHeight);
        window.show();
        type(window, u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        key(window, Qt::Key_Down);
        SuggestLayer *layer = window.suggestLayer();
        const QRect panel = window.suggestPanel()->geometry();
        QVERIFY(!layer->mask().contains(QPoint(panel.center().x(), 10)));

        // Under the field, left and right of the panel's top edge.
        const QPoint fieldBottom = window.searchField()->mapTo(window.centralWidget(), QPoint(0, window.searchField()->height()));
        QVERIFY(panel.top() > fieldBottom.y());
        QVERIFY(panel.top() - fieldBottom.y() < 30);

        QTest::mouseClick(layer, Qt::LeftButton, {}, QPoint(panel.right() + 40, panel.center().y()));
        QVERIFY(layer->isHidden());
        QCOMPARE(window.activeSuggest(), -1);
        QCOMPARE(window.suggestions().size(), 3);
        QCOMPARE(window.path(), QList<Route>{});
    }

    void clearButtonEmptiesBothTexts()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        QVERIFY(!window.searchField()->clearButton()->isVisibleTo(&window));
        type(window, u"星际"_s);
        QVERIFY(window.searchField()->clearButton()->isVisibleTo(&window));
        key(window, Qt::Key_Return);
        QVERIFY(qobject_cast<SearchView *>(window.navigationStack()->root()));
        window.push(Route::detail(u"7"_s));

        window.searchField()->clearButton()->click();
        QCOMPARE(window.searchText(), QString());
        QCOMPARE(window.submittedSearch(), QString());
        QVERIFY(!window.searchField()->clearButton()->isVisibleTo(&window));
        // The title page stays; underneath it is the section's screen again.
        QCOMPARE(window.path(), QList<Route>{Route::detail(u"7"_s)});
        QCOMPARE(rootTitle(window), u"首页"_s);
        QTest::qWait(kQuietMs);
        QVERIFY(!panelUp(window));
    }

    // Server text in a row is text: a title written as markup shows its characters and loads
    // nothing; only the service's own highlight turns bold.
    void rowsShowServerTextLiterally()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.route("POST", u"/search"_s,
                     FakeSite::json(hitsBody({hitJson(u"1"_s, u"<img src=x><b>星际</b>穿越"_s, u"2014-11-07"_s, u"9.3"_s, 12,
                                                      {u"<b>马修</b>"_s, u"<a href=x>安妮</a>"_s}),
                                              hitJson(u"2"_s, u"星际宝贝"_s, {}, u"1.0"_s, 0)})));
        ContentView window;
        quickenSearch(window);
        type(window, u"星际"_s);
        QVERIFY(waitFor([&] { return window.suggestPanel()->rows().size() == 2 && panelUp(window); }));

        const SuggestRow *first = window.suggestPanel()->rows().at(0);
        QCOMPARE(first->titleLabel()->textFormat(), Qt::RichText);
        QTextDocument title;
        title.setHtml(first->titleLabel()->text());
        QCOMPARE(title.toPlainText(), u"<img src=x>星际穿越"_s);
        for (auto it = title.begin().begin(); !it.atEnd(); ++it)
            QVERIFY(!it.fragment().charFormat().isImageFormat());
        QTextDocument cast;
        cast.setHtml(first->castLabel()->text());
        QCOMPARE(cast.toPlainText(), u"主演：马修、<a href=x>安妮</a>"_s);
        QCOMPARE(first->yearLabel()->text(), u"2014"_s);
        QCOMPARE(first->scoreLabel()->text(), u"9.3"_s);
        QCOMPARE(first->scoreLabel()->accessibleName(), u"⭐9.3"_s);
        QVERIFY(!first->scoreLabel()->isHidden());
        QCOMPARE(first->countLabel()->text(), u"资源数(12)"_s);
        for (const QLabel *plain : {first->yearLabel(), first->scoreLabel(), first->countLabel()})
            QCOMPARE(plain->textFormat(), Qt::PlainText);

        const SuggestRow *second = window.suggestPanel()->rows().at(1);
        QVERIFY(second->yearLabel()->isHidden());
        QVERIFY(!second->scoreLabel()->isVisibleTo(second));
        QVERIFY(second->castLabel()->isHidden());
        QCOMPARE(second->countLabel()->text(), u"资源数(0)"_s);
    }

    void longListsScrollInsideThePanel()
    {
        ShellFixture f;
        QVERIFY(f.start());
        f.site.enqueue("POST", u"/search"_s, FakeSite::json(hitsFor(u"a"_s, 2)));
        f.site.route("POST", u"/search"_s, FakeSite::json(hitsFor(u"ab"_s, 20)));
        ContentView window;
        quickenSearch(window);
        type(window, u"a"_s);
        QVERIFY(panelShowsFor(window, u"a"_s));
        SuggestPanel *panel = window.suggestPanel();
        QCOMPARE(panel->height(), panel->listHeight() + 2 * SuggestPanel::kInset);
        QCOMPARE(panel->width(), 433);

        type(window, u"b"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        QCOMPARE(panel->rows().size(), 20);
        QVERIFY(panel->listHeight() > SuggestPanel::kMaxListHeight);
        QCOMPARE(panel->height(), SuggestPanel::kMaxListHeight + 2 * SuggestPanel::kInset);
    }

    // Choosing a sidebar row empties the field, which takes the panel away too.
    void sidebarChoiceClearsTheSearch()
    {
        ShellFixture f;
        QVERIFY(f.start());
        answerEveryQuery(f.site);
        ContentView window;
        quickenSearch(window);
        type(window, u"ab"_s);
        QVERIFY(panelShowsFor(window, u"ab"_s));
        window.selectSection(SidebarSection::ranking());
        QCOMPARE(edit(window)->text(), QString());
        QVERIFY(!panelUp(window));
        QVERIFY(window.suggestions().isEmpty());
    }
};


TOVRA_TEST(SuggestionsTest)
#include "tst_suggestions.moc"
