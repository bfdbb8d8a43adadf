#include "store/appsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;

namespace {
// An INI file written by hand, the way a value sits on disk between runs.
std::unique_ptr<QSettings> settingsFrom(const QTemporaryDir &dir, const QByteArray &ini)
{
    const QString path = dir.filePath(QStringLiteral("settings.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return nullptr;
    file.write(ini);
    file.close();
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QString expectedDownloads()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    // A Downloads folder that is not there would leave a dialog in the working directory.
    return QFileInfo(downloads).isDir() ? downloads : QDir::homePath();
}
}

class TestAppSettings : public QObject
{
    Q_OBJECT
private slots:
    void noFolderMeansAskAndDownloads_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("nothing stored") << QByteArray();
        QTest::newRow("ask false but no folder") << QByteArray("[General]\naskEverySave=false\n");
        QTest::newRow("empty folder") << QByteArray("[General]\ntorrentDirectory=\naskEverySave=false\n");
        QTest::newRow("relative folder") << QByteArray("[General]\ntorrentDirectory=Downloads\naskEverySave=false\n");
    }
    void noFolderMeansAskAndDownloads()
    {
        QFETCH(QByteArray, ini);
        QTemporaryDir dir;
        auto settings = settingsFrom(dir, ini);
        QVERIFY(settings);
        AppSettings prefs(settings.get());
        QCOMPARE(prefs.torrentDirectory(), std::nullopt);
        QVERIFY(prefs.askEverySave());
        QCOMPARE(prefs.defaultTorrentDirectory(), expectedDownloads());
    }

    void storedBooleanForms_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("true") << QByteArray("true") << true;
        QTest::newRow("false") << QByteArray("false") << false;
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("one") << QByteArray("1") << false;
        QTest::newRow("yes") << QByteArray("yes") << false;
        QTest::newRow("upper case") << QByteArray("TRUE") << false;
        QTest::newRow("list") << QByteArray("true, true") << false;
    }
    void storedBooleanForms()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, expected);
        QTemporaryDir dir;
        QByteArray ini = "[General]\ntorrentDirectory=" + dir.path().toUtf8() + "\n";
        if (!stored.isNull())
            ini += "askEverySave=" + stored + "\n";
        auto settings = settingsFrom(dir, ini);
        QVERIFY(settings);
        AppSettings prefs(settings.get());
        QCOMPARE(prefs.torrentDirectory(), std::optional<QString>(dir.path()));
        QCOMPARE(prefs.askEverySave(), expected);
    }

    void writesAreReadBackAndSurviveReopening()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("种子 下载"));
        const QString path = dir.filePath(QStringLiteral("settings.conf"));
        {
            QSettings settings(path, QSettings::IniFormat);
            AppSettings prefs(&settings);
            prefs.setTorrentDirectory(folder);
            prefs.setAskEverySave(true);
            QVERIFY(prefs.askEverySave());
            prefs.setAskEverySave(false);
            QCOMPARE(prefs.torrentDirectory(), std::optional<QString>(folder));
            QVERIFY(!prefs.askEverySave());
            QCOMPARE(prefs.defaultTorrentDirectory(), folder);
        }
        QSettings reopened(path, QSettings::IniFormat);
        AppSettings prefs(&reopened);
        QCOMPARE(prefs.torrentDirectory(), std::optional<QString>(folder));
        QVERIFY(!prefs.askEverySave());

        prefs.setTorrentDirectory(std::nullopt);
        QVERIFY(!reopened.contains(QStringLiteral("torrentDirectory")));
        QVERIFY(prefs.askEverySave());
        QCOMPARE(prefs.defaultTorrentDirectory(), expectedDownloads());
    }
};

TOVRA_TEST(TestAppSettings)
#include "tst_appsettings.moc"
