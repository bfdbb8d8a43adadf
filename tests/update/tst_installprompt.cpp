#include "store/installlocation.h"
#include "views/installprompt.h"
#include "views/palette.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>
#include <sys/stat.h>
#include "support/boxanswers.h"
#include "support/testenv.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using Outcome = InstallPrompt::Outcome;

Q_DECLARE_METATYPE(InstallPrompt::Outcome)

namespace {

bool writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.setPermissions(mode);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A client folder whose executable writes where it was started from into $HOME/launched.txt.
// The download lost its execute bit: the move must give it back.
bool makeUnit(const QString &unit, const QByteArray &shebang = "#!/bin/sh")
{
    return writeFile(unit + QStringLiteral("/.tovra-app"), "tovra-client\n")
        && writeFile(unit + QStringLiteral("/tovra-client"), shebang + "\nprintf '%s\\n' \"$0\" >> \"$HOME/launched.txt\"\n")
        && writeFile(unit + QStringLiteral("/share/notes.txt"), "新\n");
}

// The temporary folder moved into the test's home, which itself lies in the real one: a client
// folder in the home is then not "run from the temporary folder".
struct OwnTemp
{
    QByteArray saved = qgetenv("TMPDIR");
    explicit OwnTemp(const IsolatedHome &home) { qputenv("TMPDIR", QFile::encodeName(home.path() + QStringLiteral("/tmp"))); }
    ~OwnTemp()
    {
        if (saved.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", saved);
    }
};

}

class TestInstallPrompt : public QObject
{
    Q_OBJECT
private slots:
    void prompt_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("moved");
        const QString downloads = QStringLiteral("下载/It's 新");
        QTest::newRow("move") << downloads << "" << QStringList{"movePrompt:移过去"} << Outcome::Moved << true;
        QTest::newRow("move over an older copy")
            << downloads << "older" << QStringList{"movePrompt:移过去"} << Outcome::Moved << true;
        QTest::newRow("later") << downloads << "" << QStringList{"movePrompt:以后再说"} << Outcome::Later << false;
        QTest::newRow("never ask again") << downloads << "" << QStringList{"movePrompt:不再提示"} << Outcome::Silenced << false;
        QTest::newRow("asked not to ask") << downloads << "silenced" << QStringList{} << Outcome::NotAsked << false;
        QTest::newRow("moved copy does not start")
            << downloads << "broken" << QStringList{"movePrompt:移过去", "moveFailed:好"} << Outcome::MoveFailed << true;
        QTest::newRow("copy fails") << downloads << "fifo" << QStringList{"movePrompt:移过去", "moveFailed:好"}
                                    << Outcome::MoveFailed << false;
        QTest::newRow("installed") << ".local/opt" << "" << QStringList{} << Outcome::NotAsked << false;
        QTest::newRow("not ours") << downloads << "unmarked" << QStringList{} << Outcome::NotAsked << false;
        QTest::newRow("unpacked in the temporary folder")
            << "tmp/xa-unpack" << "" << QStringList{"dragPrompt:知道了"} << Outcome::Later << false;
        QTest::newRow("temporary folder, never ask again")
            << "tmp/xa-unpack" << "" << QStringList{"dragPrompt:不再提示"} << Outcome::Silenced << false;
    }
    void prompt()
    {
        QFETCH(QString, place);
        QFETCH(QString, setup);
        QFETCH(QStringList, answers);
        QFETCH(Outcome, outcome);
        QFETCH(bool, moved);
        IsolatedHome home;
        OwnTemp temp(home);
        const QString unit = QDir(home.path()).filePath(place + QStringLiteral("/TovraClient"));
        const QString destination = QDir(home.path()).filePath(QStringLiteral(".local/opt/TovraClient"));
        QVERIFY(makeUnit(unit, setup == "broken" ? "#!/nonexistent/shell" : "#!/bin/sh"));
        if (setup == "older" || setup == "fifo")
            QVERIFY(writeFile(destination + QStringLiteral("/tovra-client"), "older build"));
        if (setup == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(unit + QStringLiteral("/share/pipe")).constData(), 0600), 0);
        if (setup == "unmarked")
            QVERIFY(QFile::remove(unit + QStringLiteral("/.tovra-app")));
        if (setup == "silenced")
            QSettings().setValue(QStringLiteral("install.skipMovePrompt"), true);

        InstallPrompt prompt(setup == "unmarked" ? QString() : unit);
        int quits = 0;
        prompt.quit = [&] { ++quits; };
        prompt.now = [] { return qint64(1765000000); };
        BoxAnswers boxes(answers);
        QCOMPARE(prompt.run(), outcome);
        QStringList expectedBoxes;
        for (const QString &a : answers)
            expectedBoxes.append(a.section(u':', 0, 0));
        QCOMPARE(boxes.seen, expectedBoxes);
        QCOMPARE(quits, outcome == Outcome::Moved ? 1 : 0);
        QCOMPARE(QSettings().value(QStringLiteral("install.skipMovePrompt"), false).toBool(),
                 outcome == Outcome::Silenced || setup == "silenced");
        for (const QString &text : boxes.texts)
            QVERIFY2(text.contains(QDir(home.path()).filePath(QStringLiteral(".local/opt"))), qPrintable(text));
        if (!boxes.texts.isEmpty() && boxes.seen.first() == QStringLiteral("movePrompt")) {
            QVERIFY(boxes.texts.first().startsWith(QStringLiteral("把 Tovra 移到「应用程序」文件夹？\n现在它在：") + unit));
            QVERIFY(boxes.texts.first().endsWith(QStringLiteral("移过去|以后再说|不再提示")));
        }

        const QString exe = destination + QStringLiteral("/tovra-client");
        const QString launched = QDir(home.path()).filePath(QStringLiteral("launched.txt"));
        if (moved) {
            QCOMPARE(readAll(exe), readAll(unit + QStringLiteral("/tovra-client")));
            QCOMPARE(QFileInfo(exe).permissions() & 0x7777, QFileDevice::Permissions(0x7755));
            QCOMPARE(readAll(destination + QStringLiteral("/share/notes.txt")), "新\n");
            const QByteArray entry = readAll(InstallLocation::desktopFilePath());
            QVERIFY(entry.contains("\nExec=" + InstallLocation::desktopExecArgument(exe).toUtf8() + '\n'));
            QCOMPARE(QFileInfo(InstallLocation::desktopFilePath()).absolutePath(),
                     QDir(home.dataHome()).filePath(QStringLiteral("applications")));
            QVERIFY(QDir(QFileInfo(destination).absolutePath()).entryList({QStringLiteral("*.old-*")}, QDir::AllEntries | QDir::Hidden).isEmpty());
        } else if (place != ".local/opt") {
            QCOMPARE(readAll(exe), setup == "older" || setup == "fifo" ? QByteArray("older build") : QByteArray());
            QVERIFY(!QFile::exists(InstallLocation::desktopFilePath()));
        }
        // Started once, from the new place; a start has no bound of ours to meet, and a loaded
        // machine once had not run it 5 s on.
        if (outcome == Outcome::Moved)
            QVERIFY2(waitFor([&] { return readAll(launched) == (exe + u'\n').toUtf8(); }, 20000), readAll(launched).constData());
        else
            QVERIFY(!QFile::exists(launched));
        if (outcome == Outcome::MoveFailed)
            QVERIFY(boxes.texts.last().contains(QStringLiteral("\n\n可以自己把 Tovra 拖进「应用程序」文件夹。\n\n「应用程序」文件夹：")));
        if (setup == "broken")
            QVERIFY(boxes.texts.last().contains(QStringLiteral("无法启动")));
        if (setup == "fifo")
            QVERIFY(boxes.texts.last().startsWith(QStringLiteral("移动失败\n无法复制 「") + unit + QStringLiteral("/share/pipe」")));
    }

    void installedPlaces_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("installed");
        const QString home = QDir::homePath();
        QTest::newRow("/opt") << QStringLiteral("/opt/TovraClient") << true;
        QTest::newRow("applications folder") << home + QStringLiteral("/.local/opt/TovraClient") << true;
        QTest::newRow("name only begins alike") << home + QStringLiteral("/.local/optional/TovraClient") << false;
        QTest::newRow("/optx") << QStringLiteral("/optx/TovraClient") << false;
        QTest::newRow("downloads") << home + QStringLiteral("/Downloads/TovraClient") << false;
        QTest::newRow("not ours") << QString() << false;
    }
    void installedPlaces()
    {
        QFETCH(QString, path);
        QFETCH(bool, installed);
        QCOMPARE(InstallLocation::isInstalled(path), installed);
    }

    // The Exec line survives any path: quoted, the four specials backslashed, "%" doubled, and
    // the backslashes doubled once more for the string value.
    void desktopExec_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/home/u/.local/opt/TovraClient/tovra-client"
                               << "\"/home/u/.local/opt/TovraClient/tovra-client\"";
        QTest::newRow("quote, space, CJK") << "/home/o'brien/It's 新/tovra-client" << "\"/home/o'brien/It's 新/tovra-client\"";
        QTest::newRow("double quote") << "/a \"b\"/c" << "\"/a \\\\\"b\\\\\"/c\"";
        QTest::newRow("dollar and backtick") << "/a $HOME/`id`" << "\"/a \\\\$HOME/\\\\`id\\\\`\"";
        QTest::newRow("backslash") << "/a\\b" << "\"/a\\\\\\\\b\"";
        QTest::newRow("percent") << "/100%/x" << "\"/100%%/x\"";
        QTest::newRow("newline") << "/a\nb" << "\"/a\\nb\"";
    }
    void desktopExec()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(InstallLocation::desktopExecArgument(path), exec);
    }

    void grab_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("install-move-prompt-light") << false;
        QTest::newRow("install-move-prompt-dark") << true;
    }
    void grab()
    {
        QFETCH(bool, dark);
        IsolatedHome home;
        OwnTemp temp(home);
        const QString unit = QDir(home.path()).filePath(QStringLiteral("下载/TovraClient"));
        QVERIFY(makeUnit(unit));
        const QPalette saved = QApplication::palette();
        QApplication::setPalette(Palette::applicationPalette(dark));
        InstallPrompt prompt(unit);
        BoxAnswers boxes({QStringLiteral("movePrompt:以后再说")}, QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(prompt.run(), Outcome::Later);
        QApplication::setPalette(saved);
        QCOMPARE(boxes.seen, QStringList{QStringLiteral("movePrompt")});
        QVERIFY(boxes.texts.first().contains(QStringLiteral("现在它在：") + unit));
        QVERIFY(QFileInfo::exists(boxes.grabbed));
    }
};

TOVRA_TEST(TestInstallPrompt)
#include "tst_installprompt.moc"
