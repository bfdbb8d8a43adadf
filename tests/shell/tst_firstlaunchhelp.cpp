#include "models/shellquote.h"
#include "support/boxanswers.h"
#include "support/testmain.h"
#include "views/firstlaunchhelp.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>

using namespace tovra;
using namespace tovra::test;

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

    // The three causes in order, the third ending in the command; the first button copies
    // exactly that command and nothing of the explanation.
    void helpNamesTheCausesAndCopiesTheCommand_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("copied");
        QTest::newRow("copy") << QStringLiteral("复制第③条的命令") << true;
        QTest::newRow("close") << QStringLiteral("关闭") << false;
    }
    void helpNamesTheCausesAndCopiesTheCommand()
    {
        QFETCH(QString, button);
        QFETCH(bool, copied);
        const QString cmd = FirstLaunchHelp::command(QCoreApplication::applicationFilePath());
        QCOMPARE(FirstLaunchHelp::command(QStringLiteral("/a b/It's/tovra")), QStringLiteral("chmod +x '/a b/It'\\''s/tovra'"));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        BoxAnswers boxes({QStringLiteral("firstLaunchHelp:") + button}, copied ? QStringLiteral("first-launch-help") : QString());
        QCOMPARE(FirstLaunchHelp::show(nullptr), copied);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied ? cmd : QStringLiteral("before"));
        QCOMPARE(boxes.seen, QStringList{QStringLiteral("firstLaunchHelp")});
        const QString text = boxes.texts.first();
        QVERIFY(text.startsWith(QStringLiteral("在新机器上打不开？\n")));
        QVERIFY(text.endsWith(QStringLiteral("\n\n   ") + cmd + QStringLiteral("\n\n   然后再打开一次。\n复制第③条的命令|关闭")));
        const qsizetype one = text.indexOf(u'①'), two = text.indexOf(u'②'), three = text.indexOf(u'③', text.indexOf(u'②'));
        QVERIFY(one > 0 && one < two && two < three);
        QVERIFY(text.contains(FirstLaunchHelp::packagesCommand()));
        QVERIFY(FirstLaunchHelp::packagesCommand().startsWith(QStringLiteral("sudo apt-get install ")));
    }
};

TOVRA_TEST(FirstLaunchHelpTest)
#include "tst_firstlaunchhelp.moc"
