#include "network/apiclient.h"
#include "network/diskcache.h"
#include "network/paths.h"
#include "store/authstore.h"
#include "store/updatearchive.h"

#include <QFile>
#include <QNetworkDiskCache>
#include <QTest>
#include "support/testenv.h"
#include "support/testmain.h"
#include "ziparchive.h"

#include <functional>
#include <sys/stat.h>

using namespace tovra;
using namespace tovra::test;

namespace {
// Makes something on disk inside home and answers its path.
using Maker = std::function<QString(const IsolatedHome &home)>;

Maker unpacked(const ZipEntry &entry)
{
    return [entry](const IsolatedHome &home) {
        QFile zip(home.path() + QStringLiteral("/update.zip"));
        if (!zip.open(QIODevice::WriteOnly) || zip.write(makeZip(clientEntries() << entry)) < 0)
            return QString();
        zip.close();
        const auto unit = UpdateArchive::extract(zip.fileName(), home.path() + QStringLiteral("/out"));
        return unit ? *unit + entry.name.mid(entry.name.indexOf(u'/')) : QString();
    };
}
}

Q_DECLARE_METATYPE(Maker)

// What the client writes is the owner's alone to change, whatever the umask it was started with.
class TestFileModes : public QObject
{
    Q_OBJECT
private slots:
    void modes_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<int>("mode");
        const QString name = QStringLiteral("TovraClient/share/x");
        QTest::newRow("update: executable") << unpacked({name, "x", 0777}) << 0755;
        QTest::newRow("update: shared file") << unpacked({name, "x", 0666}) << 0644;
        QTest::newRow("update: owner-only file") << unpacked({name, "x", 0600}) << 0644;
        QTest::newRow("update: folder") << unpacked(ZipEntry::folder(name + u'/')) << 0755;
        QTest::newRow("token folder") << Maker([](const IsolatedHome &) {
            AuthStore store(nullptr, appDataDir());
            return *appDataDir();
        }) << 0700;
        QTest::newRow("response cache") << Maker([](const IsolatedHome &) {
            DiskCache cache(cacheDir());
            return *cacheDir();
        }) << 0700;
        QTest::newRow("HTTP cache") << Maker([](const IsolatedHome &) {
            delete APIClient::makeHttpCache(nullptr);
            return *httpCacheDir();
        }) << 0700;
    }
    void modes()
    {
        QFETCH(Maker, make);
        QFETCH(int, mode);
        IsolatedHome home;
        const mode_t previous = ::umask(0);
        const QString path = make(home);
        ::umask(previous);
        struct stat st {};
        QVERIFY2(::lstat(QFile::encodeName(path).constData(), &st) == 0, qPrintable(path));
        QCOMPARE(st.st_mode & 07777, mode_t(mode));
    }
};

TOVRA_TEST(TestFileModes)
#include "tst_filemodes.moc"
