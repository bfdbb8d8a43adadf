#include "buildconfig.h"
#include "network/apiclient.h"
#include "network/diskcache.h"
#include "network/paths.h"
#include "store/appsettings.h"
#include "store/authstore.h"
#include "store/updatearchive.h"
#include "update/ziparchive.h"
#include "views/firstlaunchhelp.h"
#include "views/palette.h"
#include "views/toolbar/suggestpanel.h"
#include "views/toolbar/suggestrow.h"
#include "views/usercenter/avatarcropview.h"
#include "views/usercenter/cropeditor.h"

#include <QDir>
#include <QNetworkDiskCache>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include "support/testenv.h"
#include "support/testmain.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace tovra;
using namespace tovra::test;
using Reading = std::function<QString()>;
Q_DECLARE_METATYPE(Reading)

namespace {
QString zoomedBy(int angle)
{
    CropEditor editor(QImage(8, 8, QImage::Format_RGB32));
    QWheelEvent wheel({4, 4}, {4, 4}, {}, {0, angle}, Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    for (int i = 0; i < 40; ++i)
        QCoreApplication::sendEvent(&editor, &wheel);
    return QString::number(editor.geometry().scale);
}
QString modeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? QString::number(st.st_mode & 07777, 8) : path;
}
// The modes of what an update unpacks: an executable, a shared and a private file, a folder.
QString unpackedModes()
{
    const QList<ZipEntry> extra{{QStringLiteral("TovraClient/a"), "#!", 0777}, {QStringLiteral("TovraClient/b"), "b", 0666},
                                {QStringLiteral("TovraClient/c"), "c", 0600}, {QStringLiteral("TovraClient/d/"), {}, 0777, ZipEntry::Type::Folder}};
    QFile zip(QDir::home().filePath(QStringLiteral("u.zip")));
    if (!zip.open(QIODevice::WriteOnly) || zip.write(makeZip(clientEntries() + extra)) < 0 || !zip.flush())
        return {};
    const auto unit = UpdateArchive::extract(zip.fileName(), QDir::home().filePath(QStringLiteral("out")));
    QString modes;
    for (const char *name : {"/a", "/b", "/c", "/d"})
        modes += modeOf(unit.value_or(QString()) + QLatin1String(name));
    return modes;
}
}

// What the user sees or the system is told, read off the real objects; files made under umask 000.
class TestExactDetails : public QObject
{
    Q_OBJECT
private slots:
    void details_data()
    {
        QTest::addColumn<Reading>("read");
        QTest::addColumn<QString>("expected");
        QTest::newRow("search path") << Reading([] { return QUrl(QString::fromUtf8(build::kSearchUrl)).path(); }) << "/index";
        QTest::newRow("suggestion rows") << Reading([] {
            SuggestPanel panel;
            SuggestItem hit;
            hit.titleMarked = QStringLiteral("星河");
            panel.setSuggestions({hit}, -1);
            panel.show();
            const SuggestRow *row = panel.rows().first();
            return panel.grab().toImage().pixelColor(row->mapTo(&panel, QPoint(row->width() - 3, 5))).name();
        }) << Palette::surface().name();
        QTest::newRow("dialog folder") << Reading([] { return QDir::home().relativeFilePath(AppSettings::shared().defaultTorrentDirectory()); }) << ".";
        QTest::newRow("crop sheet width") << Reading([] {
            AvatarCropView sheet(QImage(8, 8, QImage::Format_RGB32), {}, {});
            sheet.show();
            return QString::number(sheet.width()) + sheet.slider()->accessibleName();
        }) << "400缩放";
        QTest::newRow("ctrl+wheel") << Reading([] { return zoomedBy(120) + u' ' + zoomedBy(-120); }) << "5 0.5";
        QTest::newRow("packages") << Reading([] {
            const QStringList words = FirstLaunchHelp::packagesCommand().split(u' ');
            return QString::number(words.contains(u"qt6-image-formats-plugins"_s) && words.contains(u"qt6-translations-l10n"_s));
        }) << "1";
    }
    void details() { check(); }

    void modes_data()
    {
        QTest::addColumn<Reading>("read");
        QTest::addColumn<QString>("expected");
        QTest::newRow("update") << Reading(unpackedModes) << "755644644755";
        QTest::newRow("token folder") << Reading([] { AuthStore(nullptr, appDataDir()); return modeOf(*appDataDir()); }) << "700";
        QTest::newRow("response cache") << Reading([] { DiskCache cache(cacheDir()); return modeOf(*cacheDir()); }) << "700";
        QTest::newRow("HTTP cache") << Reading([] { delete APIClient::makeHttpCache(nullptr); return modeOf(*httpCacheDir()); }) << "700";
    }
    void modes() { check(); }

private:
    void check()
    {
        QFETCH(Reading, read);
        IsolatedHome home;
        const mode_t umask = ::umask(0);
        const QString got = read();
        ::umask(umask);
        QTEST(got, "expected");
    }
};

TOVRA_TEST(TestExactDetails)
#include "tst_exactdetails.moc"
