#include "models/accountchip.h"
#include "models/bytecount.h"
#include "models/dailysign.h"
#include "models/markedtext.h"
#include "models/suggestion.h"
#include "models/topbarlayout.h"
#include "support/testmain.h"

#include <QFontMetricsF>
#include <QTest>
#include <QTextDocument>
#include <QTextBlock>

using namespace tovra;
using namespace Qt::StringLiterals;

using Runs = QList<MarkedRun>;
Q_DECLARE_METATYPE(MarkedRun)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<User>)
Q_DECLARE_METATYPE(AccountChip::Badge)

namespace {
MarkedRun plain(const QString &text) { return {text, false}; }
MarkedRun bold(const QString &text) { return {text, true}; }

User user(const QString &uid, std::optional<QString> nickname, qint64 gold, qint64 vipExpired, bool isVip)
{
    User u;
    u.uid = uid;
    u.nickname = std::move(nickname);
    u.gold = gold;
    u.vipExpired = vipExpired;
    u.isVip = isVip;
    return u;
}
}

// The pure rules behind the toolbar: highlight splitting, query trimming, the keyboard highlight,
// the row texts, the sign-in button's looks and the account chip's texts.
class ToolbarLogicTest : public QObject
{
    Q_OBJECT

private slots:
    void markedRuns_data()
    {
        QTest::addColumn<QString>("marked");
        QTest::addColumn<Runs>("runs");
        QTest::newRow("first two letters") << u"<b>星际</b>穿越"_s << Runs{bold(u"星际"_s), plain(u"穿越"_s)};
        QTest::newRow("no tags") << u"星际穿越"_s << Runs{plain(u"星际穿越"_s)};
        QTest::newRow("empty") << QString() << Runs{};
        QTest::newRow("unclosed open is dropped") << u"星<b>际穿越"_s << Runs{plain(u"星"_s), plain(u"际穿越"_s)};
        QTest::newRow("close without open is text") << u"星</b>际"_s << Runs{plain(u"星</b>际"_s)};
        QTest::newRow("no nesting") << u"<b>a<b>b</b>c</b>"_s << Runs{bold(u"a<b>b"_s), plain(u"c</b>"_s)};
        QTest::newRow("capitals are text") << u"<B>a</B>"_s << Runs{plain(u"<B>a</B>"_s)};
        QTest::newRow("two runs") << u"<b>a</b> & <b>b</b>"_s << Runs{bold(u"a"_s), plain(u" & "_s), bold(u"b"_s)};
        QTest::newRow("empty bold run") << u"x<b></b>y"_s << Runs{plain(u"x"_s), plain(u"y"_s)};
        QTest::newRow("other markup is text") << u"<img src=x><b>星</b>"_s << Runs{plain(u"<img src=x>"_s), bold(u"星"_s)};
    }

    void markedRuns()
    {
        QFETCH(QString, marked);
        QFETCH(Runs, runs);
        QCOMPARE(splitMarkedText(marked), runs);
    }

    // What a label makes of the rich text: the characters as sent, bold exactly where marked, and
    // no image, link or other element that could load anything.
    void markedHtmlShowsTextLiterally_data()
    {
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("boldPart");
        QTest::newRow("image tag") << u"<img src=x>星际"_s << u"<img src=x>星际"_s << QString();
        QTest::newRow("link in bold") << u"<b><a href=\"https://x\">点</a></b>"_s << u"<a href=\"https://x\">点</a>"_s
                                      << u"<a href=\"https://x\">点</a>"_s;
        QTest::newRow("entities") << u"&amp; &lt;b&gt; <b>&#60;</b>"_s << u"&amp; &lt;b&gt; &#60;"_s << u"&#60;"_s;
        QTest::newRow("spaces and breaks") << u"a  b\nc"_s << u"a  b c"_s << QString();
    }

    void markedHtmlShowsTextLiterally()
    {
        QFETCH(QString, marked);
        QFETCH(QString, shown);
        QFETCH(QString, boldPart);
        QTextDocument document;
        document.setHtml(markedTextHtml(marked, QColor(0x17, 0x21, 0x1D), QColor(0x0F, 0xA0, 0x5C), 9.75));
        QCOMPARE(document.toPlainText(), shown);
        QString boldText;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const QTextCharFormat format = fragment.charFormat();
                QVERIFY(!format.isImageFormat());
                QVERIFY(!format.isAnchor());
                if (format.fontWeight() >= QFont::Bold) {
                    boldText += fragment.text();
                    QCOMPARE(format.foreground().color(), QColor(0x0F, 0xA0, 0x5C));
                } else {
                    QCOMPARE(format.foreground().color(), QColor(0x17, 0x21, 0x1D));
                }
            }
        }
        QCOMPARE(boldText, boldPart);
    }

    // A title too long for its row ends in "…" and never in half a character; the bold runs keep
    // their place.
    void elidedRuns()
    {
        QFont plainFont;
        plainFont.setPixelSize(13);
        QFont boldFont = plainFont;
        boldFont.setBold(true);
        const Runs runs = splitMarkedText(u"一个很长的<b>星际</b>纪录片名字"_s);
        const auto width = [&](const Runs &list) {
            qreal total = 0;
            for (const MarkedRun &run : list)
                total += QFontMetricsF(run.bold ? boldFont : plainFont).horizontalAdvance(run.text);
            return total;
        };
        QCOMPARE(elidedMarkedRuns(runs, width(runs) + 1, plainFont, boldFont), runs);

        const qreal room = width(runs.first(2)) + QFontMetricsF(plainFont).horizontalAdvance(u"纪录…"_s) + 1;
        const Runs cut = elidedMarkedRuns(runs, room, plainFont, boldFont);
        QVERIFY(width(cut) <= room);
        QVERIFY(cut.last().text.endsWith(u"…"_s));
        QCOMPARE(cut.at(0), plain(u"一个很长的"_s));
        QCOMPARE(cut.at(1), bold(u"星际"_s));
        QCOMPARE(cut.at(2), plain(u"纪录…"_s));

        const Runs tiny = elidedMarkedRuns(runs, 14, plainFont, boldFont);
        QCOMPARE(tiny, Runs{plain(u"…"_s)});
    }

    void topBarKeepsFieldCentredWhileItFits_data()
    {
        QTest::addColumn<int>("actions");
        QTest::addColumn<int>("back");
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("leading");
        QTest::addColumn<int>("trailing");
        QTest::newRow("actions wider, room to spare") << 300 << 32 << 420 << 1200 << 300 << 300;
        QTest::newRow("exactly fits") << 300 << 32 << 420 << 1020 << 300 << 300;
        // Short of room the field keeps its place and narrows (to 180 at least) on its right.
        QTest::newRow("one pixel short: field stays") << 300 << 32 << 420 << 1019 << 299 << 300;
        QTest::newRow("wider account items: field stays") << 380 << 32 << 420 << 1019 << 299 << 380;
        QTest::newRow("field at its narrowest: moves over") << 600 << 32 << 420 << 1019 << 239 << 600;
        QTest::newRow("back wider than actions") << 20 << 32 << 420 << 1200 << 32 << 32;
        QTest::newRow("no room at all") << 300 << 32 << 420 << 0 << 0 << 300;
    }

    void topBarKeepsFieldCentredWhileItFits()
    {
        QFETCH(int, actions);
        QFETCH(int, back);
        QFETCH(int, field);
        QFETCH(int, room);
        QFETCH(int, leading);
        QFETCH(int, trailing);
        const TopBarSides sides = TopBarSides::balanced(actions, back, field, 180, room);
        QCOMPARE(sides.leading, leading);
        QCOMPARE(sides.trailing, trailing);
    }

    void trimmedQuery_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("query");
        QTest::newRow("spaces and tab") << u"  星际 \t"_s << u"星际"_s;
        QTest::newRow("ideographic space") << u"\u3000星际\u3000"_s << u"星际"_s;
        QTest::newRow("no-break space") << u"\u00A0abc"_s << u"abc"_s;
        QTest::newRow("inner spaces stay") << u" a  b "_s << u"a  b"_s;
        QTest::newRow("line breaks stay") << u"\nabc\n"_s << u"\nabc\n"_s;
        QTest::newRow("only spaces") << u" \t\u3000 "_s << QString();
    }

    void trimmedQuery()
    {
        QFETCH(QString, text);
        QFETCH(QString, query);
        QCOMPARE(suggestion::trimmedQuery(text), query);
    }

    void selectionWraps_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("expected");
        QTest::newRow("down from none") << -1 << 3 << 1 << 0;
        QTest::newRow("up from none") << -1 << 3 << -1 << 2;
        QTest::newRow("down from last") << 2 << 3 << 1 << 0;
        QTest::newRow("up from first") << 0 << 3 << -1 << 2;
        QTest::newRow("down inside") << 0 << 3 << 1 << 1;
        QTest::newRow("one row") << 0 << 1 << 1 << 0;
        QTest::newRow("no rows") << -1 << 0 << 1 << -1;
        // A highlight left from a longer list starts over at the top.
        QTest::newRow("stale index") << 7 << 3 << 1 << 0;
    }

    void selectionWraps()
    {
        QFETCH(int, active);
        QFETCH(int, count);
        QFETCH(int, step);
        QFETCH(int, expected);
        QCOMPARE(suggestion::movedSelection(active, count, step), expected);
    }

    void returnOpensOnlyAShownHighlightedRow()
    {
        QVERIFY(suggestion::returnOpensRow(true, 0, 3));
        QVERIFY(suggestion::returnOpensRow(true, 2, 3));
        QVERIFY(!suggestion::returnOpensRow(false, 1, 3));
        QVERIFY(!suggestion::returnOpensRow(true, -1, 3));
        QVERIFY(!suggestion::returnOpensRow(true, 3, 3));
    }

    void scoreText_data()
    {
        QTest::addColumn<std::optional<QString>>("score");
        QTest::addColumn<std::optional<QString>>("shown");
        QTest::newRow("8.25") << std::optional(u"8.25"_s) << std::optional(u"⭐8.25"_s);
        QTest::newRow("kept as sent") << std::optional(u"7.0"_s) << std::optional(u"⭐7.0"_s);
        QTest::newRow("exactly 1") << std::optional(u"1.0"_s) << std::optional<QString>();
        QTest::newRow("below 1") << std::optional(u"0.5"_s) << std::optional<QString>();
        QTest::newRow("not wholly a number") << std::optional(u"8.5分"_s) << std::optional<QString>();
        QTest::newRow("padded") << std::optional(u" 8.5"_s) << std::optional<QString>();
        QTest::newRow("infinity") << std::optional(u"inf"_s) << std::optional<QString>();
        QTest::newRow("empty") << std::optional(QString()) << std::optional<QString>();
        QTest::newRow("absent") << std::optional<QString>() << std::optional<QString>();
    }

    void scoreText()
    {
        QFETCH(std::optional<QString>, score);
        QFETCH(std::optional<QString>, shown);
        QCOMPARE(suggestion::scoreText(score), shown);
    }

    void rowTexts()
    {
        QCOMPARE(suggestion::yearText(u"2014"_s), std::optional(u"2014"_s));
        QCOMPARE(suggestion::yearText(QString()), std::nullopt);
        QCOMPARE(suggestion::yearText(std::nullopt), std::nullopt);
        QCOMPARE(suggestion::countText(0), u"资源数(0)"_s);
        QCOMPARE(suggestion::countText(12), u"资源数(12)"_s);
        QCOMPARE(suggestion::castLine({u"<b>马修</b>"_s, u"安妮"_s}), std::optional(u"主演：<b>马修</b>、安妮"_s));
        QCOMPARE(suggestion::castLine({}), std::nullopt);
    }

    void signButtonLooks_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<std::optional<QString>>("label");
        QTest::addColumn<bool>("signedToday");
        QTest::addColumn<int>("days");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("faint");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("help");
        const std::optional<QString> none;
        QTest::newRow("signed out") << false << none << false << 0 << u"gift"_s << u"签到领BT币"_s << false << true
                                    << u"签到领 BT币"_s;
        QTest::newRow("not yet today") << true << none << false << 3 << u"gift"_s << u"签到领BT币"_s << false << true
                                       << u"签到领 BT币"_s;
        QTest::newRow("running") << true << std::optional(u"签到中…"_s) << false << 3 << u"gift"_s << u"签到中…"_s << false
                                 << false << u"签到领 BT币"_s;
        QTest::newRow("just signed") << true << std::optional(u"+5 BT币"_s) << true << 7 << u"checkmark.seal.fill"_s
                                     << u"+5 BT币"_s << false << false << u"今天已经签到过了，已连续 7 天"_s;
        QTest::newRow("failed") << true << std::optional(u"签到失败"_s) << false << 0 << u"gift"_s << u"签到失败"_s << false
                                << false << u"签到领 BT币"_s;
        QTest::newRow("done, streak 1") << true << none << true << 1 << u"checkmark.seal.fill"_s << u"今日已签到"_s << true
                                        << false << u"今天已经签到过了"_s;
        QTest::newRow("done, streak 2") << true << none << true << 2 << u"checkmark.seal.fill"_s << u"今日已签到"_s << true
                                        << false << u"今天已经签到过了，已连续 2 天"_s;
    }

    void signButtonLooks()
    {
        QFETCH(bool, signedIn);
        QFETCH(std::optional<QString>, label);
        QFETCH(bool, signedToday);
        QFETCH(int, days);
        QFETCH(QString, symbol);
        QFETCH(QString, text);
        QFETCH(bool, faint);
        QFETCH(bool, enabled);
        QFETCH(QString, help);
        const auto look = dailysign::buttonLook(signedIn, label, signedToday, days);
        QCOMPARE(look.symbol, symbol);
        QCOMPARE(look.text, text);
        QCOMPARE(look.faint, faint);
        QCOMPARE(look.enabled, enabled);
        QCOMPARE(look.help, help);
    }

    void signResultLabels()
    {
        QCOMPARE(dailysign::resultLabel(5), u"+5 BT币"_s);
        QCOMPARE(dailysign::resultLabel(12), u"+12 BT币"_s);
        QCOMPARE(dailysign::resultLabel(0), u"今天已经签过了"_s);
        QCOMPARE(dailysign::resultLabel(-3), u"今天已经签过了"_s);
    }

    void signedTodayNeedsToday()
    {
        const QDate today(2024, 3, 9);
        const QDateTime noon(today, QTime(12, 0));
        QVERIFY(dailysign::isSignedToday(true, noon, today));
        QVERIFY(!dailysign::isSignedToday(true, noon.addDays(-1), today));
        QVERIFY(!dailysign::isSignedToday(false, noon, today));
        QVERIFY(!dailysign::isSignedToday(std::nullopt, noon, today));
        QVERIFY(!dailysign::isSignedToday(true, QDateTime(), today));
    }

    void accountChip_data()
    {
        QTest::addColumn<std::optional<User>>("profile");
        QTest::addColumn<AccountChip::Badge>("badge");
        QTest::addColumn<QString>("badgeText");
        QTest::addColumn<QString>("name");
        QTest::addColumn<std::optional<QString>>("gold");
        QTest::newRow("member") << std::optional(user(u"u1"_s, u"影迷"_s, 120, 1900000000, true))
                                << AccountChip::Badge::Member << u"尊享VIP"_s << u"影迷"_s << std::optional(u"120"_s);
        QTest::newRow("expired member") << std::optional(user(u"u1"_s, u"影迷"_s, 0, 1600000000, false))
                                        << AccountChip::Badge::Expired << u"尊享VIP已过期"_s << u"影迷"_s
                                        << std::optional(u"0"_s);
        QTest::newRow("never a member, flag set") << std::optional(user(u"u1"_s, u"影迷"_s, 3, 0, true))
                                                  << AccountChip::Badge::None << QString() << u"影迷"_s << std::optional(u"3"_s);
        QTest::newRow("no nickname") << std::optional(user(u"u42"_s, std::nullopt, 3, 0, false)) << AccountChip::Badge::None
                                     << QString() << u"u42"_s << std::optional(u"3"_s);
        QTest::newRow("empty nickname") << std::optional(user(u"u42"_s, QString(), 3, 0, false)) << AccountChip::Badge::None
                                        << QString() << QString() << std::optional(u"3"_s);
        QTest::newRow("profile not loaded") << std::optional<User>() << AccountChip::Badge::None << QString()
                                            << u"已登录"_s << std::optional<QString>();
    }

    void accountChip()
    {
        QFETCH(std::optional<User>, profile);
        QFETCH(AccountChip::Badge, badge);
        QFETCH(QString, badgeText);
        QFETCH(QString, name);
        QFETCH(std::optional<QString>, gold);
        const AccountChip chip = AccountChip::from(profile);
        QCOMPARE(chip.badge, badge);
        QCOMPARE(chip.badgeText(), badgeText);
        QCOMPARE(chip.name, name);
        QCOMPARE(chip.gold ? std::optional(QString::number(*chip.gold)) : std::nullopt, gold);
    }

    void byteCounts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << u"0 KB"_s;
        QTest::newRow("bytes") << qint64(532) << u"532 字节"_s;
        QTest::newRow("kilobytes") << qint64(532'400) << u"532 KB"_s;
        QTest::newRow("rounds up a unit") << qint64(999'999) << u"1 MB"_s;
        QTest::newRow("five megabytes") << qint64(5'000'000) << u"5 MB"_s;
        QTest::newRow("one decimal") << qint64(5'240'000) << u"5.2 MB"_s;
        QTest::newRow("gigabytes") << qint64(1'234'000'000) << u"1.23 GB"_s;
    }

    void byteCounts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatByteCount(bytes), text);
    }
};

TOVRA_TEST(ToolbarLogicTest)
#include "tst_toolbarlogic.moc"
