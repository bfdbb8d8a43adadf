#include "store/clock.h"
#include "store/log.h"

#include <QTest>
#include "support/logcapture.h"
#include "support/testmain.h"

using namespace tovra;

class TestLogAndClock : public QObject
{
    Q_OBJECT
private slots:
    void lineForm_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("withError");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QString() << false << QStringLiteral("[Tovra] terminate 未生效，强制退出");
        QTest::newRow("failure") << QStringLiteral("服务器错误（500）") << true
                                 << QStringLiteral("[Tovra] terminate 未生效，强制退出: 服务器错误（500）");
        // Server text is hostile: printf directives and quotes must come out as they went in.
        QTest::newRow("percent") << QStringLiteral("100%s %n %d \"x\"") << true
                                 << QStringLiteral("[Tovra] terminate 未生效，强制退出: 100%s %n %d \"x\"");
        QTest::newRow("trailing space") << QStringLiteral("x ") << true
                                        << QStringLiteral("[Tovra] terminate 未生效，强制退出: x ");
    }
    void lineForm()
    {
        QFETCH(QString, description);
        QFETCH(bool, withError);
        QFETCH(QString, expected);
        LogCapture capture;
        const QString chinese = QStringLiteral("terminate 未生效，强制退出");
        if (withError)
            logLine(chinese, description);
        else
            logLine(chinese);
        QCOMPARE(capture.taken(), QStringList{expected});
    }

    void installedClockIsUsedAndRemoved()
    {
        const QDateTime fixed(QDate(2024, 2, 29), QTime(23, 59, 30));
        {
            ScopedClock clock([&] { return fixed; });
            QCOMPARE(Clock::now(), fixed);
            QCOMPARE(Clock::today(), QDate(2024, 2, 29));
            QCOMPARE(Clock::nextMidnight(Clock::now()), QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
        }
        QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())) < 5);
    }
};

TOVRA_TEST(TestLogAndClock)
#include "tst_log.moc"
