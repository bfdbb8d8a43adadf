#include "support/testmain.h"
#include "models/cataloguelogic.h"
#include "views/catalogue/hotlist.h"
#include "views/components/sidebarrow.h"
#include "views/components/stateoverlay.h"
#include "models/loginlogic.h"
#include "store/updateservice.h"
#include "views/preferencesview.h"
#include "views/updateview.h"
#include "views/usercenter/usercentermenurow.h"
#include "views/usercenter/usercenterview.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QButtonGroup>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

bool pressable(QAccessibleInterface *face)
{
    QAccessibleActionInterface *actions = face->actionInterface();
    return actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction());
}

QString describe(QAccessibleInterface *face)
{
    QObject *object = face->object();
    QString path;
    for (QObject *o = object; o; o = o->parent()) {
        const QString part = o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className()) : o->objectName();
        path = path.isEmpty() ? part : part + u'/' + path;
        if (o->isWidgetType() && static_cast<QWidget *>(o)->isWindow())
            break;
    }
    if (!object)
        path = u"(painted entry of) "_s + describe(face->parent());
    return path + u" role="_s + QString::number(int(face->role()));
}

// A click target is reached by keyboard when it is a Tab stop itself or part of one (a label
// inside a clickable card, the arrows of a feed that steps with the arrow keys).
bool reachable(QWidget *widget)
{
    if (!widget->isEnabled())
        return true;
    for (QWidget *w = widget; w && !w->isWindow(); w = w->parentWidget()) {
        if (w->focusPolicy() & Qt::TabFocus)
            return true;
    }
    return false;
}

// Walks what a screen reader sees under face, group being the list, card or page it sits in;
// answers in faults what a user could reach or press that has no name, markup for one, a
// neighbour's name or no role, and counts the named ones. Heard keeps them by name.
void walk(QAccessibleInterface *face, QStringList &faults, QMultiHash<QString, QAccessibleInterface *> &heard,
          QSet<QString> &keys, const QObject *page, const void *group, int depth = 0)
{
    if (!face || !face->isValid() || depth > 60)
        return;
    const QAccessible::State state = face->state();
    if (state.invisible)
        return;
    // Everything a click works shows the pointing hand: it must be reachable by keyboard too.
    QObject *object = face->object();
    const bool hand = object && object->isWidgetType() && static_cast<QWidget *>(object)->testAttribute(Qt::WA_SetCursor)
                      && static_cast<QWidget *>(object)->cursor().shape() == Qt::PointingHandCursor;
    if (hand && !reachable(static_cast<QWidget *>(object)))
        faults << describe(face) + u" (clickable, but no Tab stop)"_s;
    // A value offers Increase and Decrease: the user can work it (scroll bars are read by role).
    const bool operable = state.focusable || pressable(face) || hand
                          || (face->valueInterface() && face->role() != QAccessible::ScrollBar);
    group = object == page ? face : group;
    if (operable) {
        static const QRegularExpression tag(u"<\\s*/?[A-Za-z][^<>]*>"_s);
        const QString name = face->text(QAccessible::Name).trimmed();
        // Plain text that holds "<b>" is read as it is shown.
        const auto *label = qobject_cast<QLabel *>(object);
        const bool plain = label && label->textFormat() == Qt::PlainText;
        auto *button = qobject_cast<QAbstractButton *>(object);
        const QString key = QString::number(quintptr(group)) + u'/' + QString::number(int(face->role())) + u'/' + name;
        const bool markup = (!plain && tag.match(name).hasMatch()) || tag.match(face->text(QAccessible::Description)).hasMatch();
        const bool roleless = (state.focusable || pressable(face)) && (face->role() == QAccessible::Client || !face->role());
        const bool checkBox = button && button->group() && button->group()->exclusive() && face->role() == QAccessible::CheckBox;
        for (const auto &[fault, why] : {std::pair{name.isEmpty(), u"no name"_s}, {markup, u"markup"_s}, {roleless, u"no role"_s},
                                         {checkBox, u"one of several, read as a check box"_s},
                                         {!name.isEmpty() && keys.contains(key), u"name heard twice"_s}}) {
            if (fault)
                faults << describe(face) + u" ("_s + why + u": "_s + name + u')';
        }
        keys.insert(key);
        heard.insert(name, face);
    }
    if (face->role() == QAccessible::List || (operable && state.focusable && face->childCount() > 0))
        group = face;
    for (int i = 0; i < face->childCount(); ++i)
        walk(face->child(i), faults, heard, keys, page, group, depth + 1);
}

}

// Every screen of the window, filled with sample data, read the way a screen reader reads it,
// with one listening from the start (so interfaces are asked for while widgets are being made):
// nothing the keyboard reaches or a click works may go unnamed, be named in markup, share its
// name with a neighbour or go without a role; of several choices the current one reads selected.
class AccessibleTreeTest : public QObject
{
    Q_OBJECT

private slots:
    void everyControlHasAName()
    {
        QAccessible::setActive(true);
        const auto inactive = qScopeGuard([] { QAccessible::setActive(false); });
        WindowFixture f;
        QVERIFY(f.signIn());
        QVERIFY(f.open());
        ContentView &window = *f.window;
        window.setSearchText(u"星河"_s);

        struct Screen
        {
            QString name;
            std::function<void()> show;
            QStringList current = {};
        };
        Torrent torrent;
        torrent.index = 1;
        torrent.name = u"星河 第1集"_s;
        const auto click = [&window](const QString &text) {
            for (QAbstractButton *button : window.navigationStack()->currentPage()->findChildren<QAbstractButton *>()) {
                if (button->text() == text || button->accessibleName() == text)
                    button->click();
            }
        };
        QList<Screen> screens{
            {u"首页"_s, [] {}, {u"首页"_s}},
            {u"分类"_s, [&] { window.sidebarRows().at(1)->click(); }, {u"电影"_s, u"全部类型"_s}},
            {u"分类 剧情"_s, [&] { click(u"剧情"_s); }, {u"电影"_s, u"剧情"_s}},
            {u"每日下载排行"_s, [&] { window.selectSection(SidebarSection::ranking()); }},
            {u"Top 250"_s, [&] { window.selectSection(SidebarSection::top250()); }},
            {u"社区"_s, [&] { window.selectSection(SidebarSection::community()); }},
            {u"搜索结果"_s, [&] {
                 window.selectSection(SidebarSection::home());
                 window.setSearchText(u"星河"_s);
                 window.submitSearch();
             }},
            {u"筛选结果"_s, [&] { window.push(Route::filterResult(u"导演：赵六"_s, Params{{u"director"_s, u"赵六"_s}})); }},
            {u"详情"_s, [&] { window.push(Route::detail(u"d1"_s)); }},
            {u"种子"_s, [&] { window.push(Route::download(u"d1"_s, torrent)); }},
            {u"播放"_s, [&] { window.push(Route::play(PlayEntry{}, u"星河 第1集"_s, 0)); }},
            {u"登录"_s, [&] {
                 window.popToRoot();
                 window.push(Route::login());
             }, {u"登录"_s}},
        };
        // The log-in page in each of its modes, switched as a user does.
        for (LoginMode mode : loginpage::allModes())
            screens.append({u"登录 "_s + loginpage::rawValue(mode), [=] { click(loginpage::rawValue(mode)); }, {loginpage::rawValue(mode)}});
        for (UserCenterTab tab : usercenter::allTabs()) {
            QStringList current{usercenter::title(tab)};
            if (tab == UserCenterTab::message)
                current << u"评论提醒"_s << u"全部"_s;
            screens.append({u"用户中心 "_s + usercenter::title(tab), [&window, tab] {
                                if (!qobject_cast<UserCenterView *>(window.navigationStack()->currentPage()))
                                    window.push(Route::userCenter());
                                qobject_cast<UserCenterView *>(window.navigationStack()->currentPage())->selectTab(tab);
                            }, current});
        }

        QStringList walked;
        QStringList unnamed;
        // Each of current (a name, or the start of one before "，") must read selected or checked.
        const auto read = [&](const QString &name, QWidget *root, const QObject *page, const QStringList &current) {
            QStringList faults;
            QMultiHash<QString, QAccessibleInterface *> heard;
            QSet<QString> keys;
            walk(QAccessible::queryAccessibleInterface(root), faults, heard, keys, page, root);
            for (const QString &want : current) {
                const auto reads = [&](const auto &heardOne) {
                    const QAccessible::State state = heardOne.second->state();
                    return (heardOne.first == want || heardOne.first.startsWith(want + u'，')) && (state.selected || state.checked);
                };
                if (std::none_of(heard.keyValueBegin(), heard.keyValueEnd(), reads))
                    faults << want + u" (current, but not read as selected)"_s;
            }
            for (const QString &m : std::as_const(faults))
                unnamed << name + u": "_s + m;
            return heard.size();
        };
        for (const Screen &screen : screens) {
            screen.show();
            QVERIFY(f.settle());
            QWidget *page = window.navigationStack()->currentPage();
            // Each screen shows its own named controls beyond the window's sidebar and bar.
            QVERIFY2(read(screen.name, &window, page, screen.current) > 8, qPrintable(screen.name));
            walked << screen.name + u" ("_s + QString::fromLatin1(page->metaObject()->className()) + u')';
        }

        // The preferences and the update panel are windows of their own.
        PreferencesView preferences;
        UpdateView update(UpdateService::shared());
        for (const auto &[name, sheet] : {std::pair<QString, QWidget *>{u"偏好设置"_s, &preferences},
                                          std::pair<QString, QWidget *>{u"软件更新"_s, &update}}) {
            sheet->show();
            QVERIFY(QTest::qWaitForWindowExposed(sheet));
            read(name, sheet, sheet, {});
            walked << name;
        }

        qInfo("screens walked: %s", qPrintable(walked.join(u"、"_s)));
        for (const QString &m : std::as_const(unnamed))
            qWarning("%s", qPrintable(m));
        QVERIFY2(unnamed.isEmpty(), qPrintable(u"%1 faults"_s.arg(unnamed.size())));
    }

    // Counts that a row shows belong to its name; painted entries and state overlays are read
    // under their texts.
    void badgesAndEntriesAreInNames()
    {
        WindowFixture f;
        QVERIFY(f.signIn());
        QVERIFY(f.open());
        QCOMPARE(f.window->sidebarRows().at(1)->accessibleName(), u"电影，+12"_s);
        // The hot list's rows: place, title and heat, as painted; the list under its heading.
        auto *hot = f.window->findChild<HotList *>();
        QVERIFY(hot);
        QAccessibleInterface *hotFace = QAccessible::queryAccessibleInterface(hot);
        QCOMPARE(hotFace->text(QAccessible::Name), u"今日热榜"_s);
        QCOMPARE(hotFace->childCount(), 10);
        QAccessibleInterface *third = hotFace->child(2);
        QCOMPARE(third->role(), QAccessible::ListItem);
        QCOMPARE(third->text(QAccessible::Name),
                 u"3，%1，%2"_s.arg(hot->items().at(2).title, catalogue::heatText(hot->items().at(2).count)));
        QCOMPARE(hotFace->indexOfChild(third), 2);
        const QRect rect = third->rect();
        QCOMPARE(hotFace->childAt(rect.center().x(), rect.center().y()), third);
        // Pressing an entry opens it, as a click does.
        third->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(f.window->path().last(), Route::detail(hot->items().at(2).did));
        f.window->popToRoot();

        // A state overlay stands for the screen it covers: it is read by what it says.
        StateOverlay overlay;
        QCOMPARE(overlay.accessibleName(), overlay.titleText());
        QVERIFY(!overlay.accessibleName().isEmpty());
        overlay.setKind(StateOverlay::Kind::error(u"网络连接失败"_s, [] {}));
        QCOMPARE(overlay.accessibleName(), u"加载失败，网络连接失败"_s);
        overlay.setKind(StateOverlay::Kind::empty(QString()));
        QCOMPARE(overlay.accessibleName(), u"没有内容"_s);

        f.window->push(Route::userCenter());
        auto *centre = qobject_cast<UserCenterView *>(f.window->navigationStack()->currentPage());
        QVERIFY(centre);
        QVERIFY(waitFor([&] { return centre->menuRow(UserCenterTab::message)->accessibleName() != u"我的消息"_s; }));
        QCOMPARE(centre->menuRow(UserCenterTab::message)->accessibleName(), u"我的消息，3"_s);
        QAccessibleInterface *row = QAccessible::queryAccessibleInterface(centre->menuRow(UserCenterTab::message));
        QCOMPARE(row->parent()->role(), QAccessible::PageTabList);
        // A watch-history bar gives its value: 600 s of 1,200, on a scale of 1,000.
        centre->selectTab(UserCenterTab::watching);
        QVERIFY(waitFor([&] { return centre->findChild<QProgressBar *>(u"progressBar"_s); }));
        auto *value = QAccessible::queryAccessibleInterface(centre->findChild<QProgressBar *>())->valueInterface();
        QVERIFY(value && value->minimumValue() == 0 && value->currentValue() == 500 && value->maximumValue() == 1000);
    }
};

TOVRA_TEST(AccessibleTreeTest)
#include "tst_accessibletree.moc"
