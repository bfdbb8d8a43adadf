#include "models/shellquote.h"
#include "support/testmain.h"
#include "views/firstlaunchhelp.h"

#include <QProcess>
#include <QTest>

using namespace tovra;

class FirstLaunchHelpTest : public QObject
{
    Q_OBJECT
private slots:
    // Whatever the path holds, the shell sees exactly one word with exactly those characters.
    void quotedPathsReachTheShellIntact_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << QStringLiteral("/opt/tovra/tovra-client");
        QTest::newRow("spaces") << QStringLiteral("/home/u/My Apps/tovra client");
        QTest::newRow("quote") << QStringLiteral("/home/o'brien/tovra");
        QTest::newRow("shell syntax") << QStringLiteral("/tmp/$(touch x);`id`&&\"a\"\\n");
        QTest::newRow("chinese") << QStringLiteral("/home/用户/下载/Tovra");
    }
    void quotedPathsReachTheShellIntact()
    {
        QFETCH(QString, path);
        QProcess sh;
        sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf %s ") + shellQuoted(path)});
        QVERIFY(sh.waitForFinished(5000));
        QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), path);
    }

    void helpNamesTheCommand()
    {
        const QString cmd = FirstLaunchHelp::command(QStringLiteral("/a b/tovra"));
        QCOMPARE(cmd, QStringLiteral("chmod +x '/a b/tovra'"));
        QVERIFY(FirstLaunchHelp::text(cmd).contains(QStringLiteral("\n\n   chmod +x '/a b/tovra'\n\n   然后再打开一次。")));
    }
};

TOVRA_TEST(FirstLaunchHelpTest)
#include "tst_firstlaunchhelp.moc"
