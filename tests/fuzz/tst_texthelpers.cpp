#include "models/detaillogic.h"
#include "models/markedtext.h"
#include "models/messagelogic.h"

#include <QFontMetricsF>
#include <QTest>

#include "support/testmain.h"
#include "threadclock.h"

using namespace Qt::StringLiterals;
using namespace tovra;
using tovra::test::threadCpuNs;

namespace {

constexpr qint64 kBudgetNs = 100'000'000;
const QChar kLoneHigh(char16_t(0xD800));
const QChar kLoneLow(char16_t(0xDC00));

}

// The plain-text views of notices and introductions, and the eliding of suggestion titles, run on
// the UI thread over text anyone can write: linear in their input, and a lone surrogate is text
// like any other.
class TestTextHelpers : public QObject
{
    Q_OBJECT
private slots:
    void plainTexts_data()
    {
        QTest::addColumn<bool>("notice"); // the message page's helper, else the introduction's
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        const QString altsWithoutEnd = u"<img"_s + u" alt=\"x\""_s.repeated(44000);
        const QString quotesWithoutEnd = u"<img alt=\""_s.repeated(35000);
        const QString opensWithoutEnd = u"<img <a"_s.repeated(50000);
        const QString breaksWithoutEnd = u"<br \t "_s.repeated(60000);
        QTest::newRow("notice: alts, no end") << true << altsWithoutEnd << altsWithoutEnd;
        QTest::newRow("notice: quotes, no end") << true << quotesWithoutEnd << quotesWithoutEnd;
        QTest::newRow("notice: opens, no end") << true << opensWithoutEnd << opensWithoutEnd;
        QTest::newRow("notice: many images") << true << u"<img alt=\"a\">"_s.repeated(30000) << u"[a]"_s.repeated(30000);
        QTest::newRow("intro: breaks, no end") << false << breaksWithoutEnd << breaksWithoutEnd.trimmed();
        QTest::newRow("intro: opens, no end") << false << opensWithoutEnd << opensWithoutEnd;
        QTest::newRow("notice: lone high") << true << u"<b>粗体</b>"_s + kLoneHigh + u"<img src=\"e.png\" alt=\"笑\">&amp;"_s
                                           << u"粗体"_s + kLoneHigh + u"[笑]&"_s;
        QTest::newRow("notice: lone low in alt") << true << u"<img alt=\""_s + kLoneLow + u"\"><i>x</i>"_s
                                                 << u"["_s + kLoneLow + u"]x"_s;
        QTest::newRow("intro: lone high") << false << u"<p>一</p>"_s + kLoneHigh + u"<br/><i>二</i>&lt;"_s
                                          << u"一\n"_s + kLoneHigh + u"\n二<"_s;
        QTest::newRow("intro: reversed pair") << false << QString(kLoneLow) + kLoneHigh + u"<br>"_s + u"<span>x</span>"_s
                                              << QString(kLoneLow) + kLoneHigh + u"\nx"_s;
    }
    void plainTexts()
    {
        QFETCH(bool, notice);
        QFETCH(QString, html);
        QFETCH(QString, text);
        const qint64 started = threadCpuNs();
        const QString plain = notice ? messagelogic::plain(html) : titlepage::plainText(html);
        const qint64 spent = threadCpuNs() - started;
        QVERIFY2(spent < kBudgetNs, qPrintable(u"%1 ms"_s.arg(spent / 1e6, 0, 'f', 1)));
        QCOMPARE(plain.size(), text.size());
        QCOMPARE(plain, text);
    }

    void elidingIsLinear_data()
    {
        QTest::addColumn<QString>("marked");
        // The cut falls after thousands of characters that take no room.
        QTest::newRow("zero-width characters") << u"<b>星际</b>"_s + u"\u200B"_s.repeated(8050) + u"穿越"_s.repeated(200);
        QTest::newRow("combining marks") << u"a"_s + u"\u0301"_s.repeated(8050) + u"b"_s.repeated(400);
        QTest::newRow("long bold run") << u"<b>"_s + u"星"_s.repeated(50000) + u"</b>"_s;
        QTest::newRow("many runs") << u"<b>a</b>b"_s.repeated(20000);
    }
    void elidingIsLinear()
    {
        QFETCH(QString, marked);
        QFont plain;
        plain.setPixelSize(13);
        QFont bold = plain;
        bold.setBold(true);
        const auto runs = splitMarkedText(marked);
        (void)elidedMarkedRuns(splitMarkedText(u"暖身 warm-up"_s), 10, plain, bold); // fonts loaded once
        const qint64 started = threadCpuNs();
        const auto cut = elidedMarkedRuns(runs, 300, plain, bold);
        const qint64 spent = threadCpuNs() - started;
        QVERIFY2(spent < kBudgetNs, qPrintable(u"%1 ms"_s.arg(spent / 1e6, 0, 'f', 1)));
        QVERIFY(!cut.isEmpty());
        QVERIFY(cut.last().text.endsWith(u"…"_s));
        qreal width = 0;
        for (const MarkedRun &run : cut)
            width += QFontMetricsF(run.bold ? bold : plain).horizontalAdvance(run.text);
        QVERIFY(width <= 300);
        // What is kept is the start of the text, in order.
        QString shown;
        for (const MarkedRun &run : cut)
            shown += run.text;
        shown.chop(1);
        QString whole;
        for (const MarkedRun &run : runs)
            whole += run.text;
        QVERIFY(whole.startsWith(shown));
    }
};

TOVRA_TEST(TestTextHelpers)
#include "tst_texthelpers.moc"
