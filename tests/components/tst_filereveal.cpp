#include "views/components/filereveal.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include "support/testenv.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {

// A file manager on the bus, as the desktop's would answer ShowItems.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
    QString startupId;

public slots:
    void ShowItems(const QStringList &uris, const QString &startup)
    {
        shown += uris;
        startupId = startup;
    }
};

// A session bus of the test's own, so nothing reaches the desktop running the tests.
struct PrivateBus
{
    QProcess daemon;
    QString address;

    bool start()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty())
            return false;
        daemon.start(program, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!daemon.waitForStarted() || !waitFor([&] { return daemon.canReadLine(); }))
            return false;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        return !address.isEmpty();
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished();
    }
};

}

class TestFileReveal : public QObject
{
    Q_OBJECT
private slots:
    // The saved file is shown selected when a file manager answers on the bus; its folder opens
    // instead when none does, or when there is no bus at all.
    void reveal_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::addColumn<bool>("manager");
        QTest::newRow("file manager answers") << true << true;
        QTest::newRow("no file manager") << true << false;
        QTest::newRow("no bus") << false << false;
    }
    void reveal()
    {
        QFETCH(bool, bus);
        QFETCH(bool, manager);
        PrivateBus daemon;
        QVERIFY2(daemon.start(), "dbus-daemon (package dbus-daemon) is needed");
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QDBusConnection client = bus ? QDBusConnection::connectToBus(daemon.address, tag + QStringLiteral("-client"))
                                     : QDBusConnection(QStringLiteral("not connected"));
        QDBusConnection service = QDBusConnection::connectToBus(daemon.address, tag + QStringLiteral("-service"));
        FakeFileManager fileManager;
        if (manager) {
            QVERIFY(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
            QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                           QDBusConnection::ExportAllSlots));
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("星河 S01 (2).torrent"));
        QList<QUrl> opened;
        revealFile(path, client, [&](const QUrl &folder) { opened.append(folder); });
        if (manager) {
            QVERIFY(waitFor([&] { return !fileManager.shown.isEmpty(); }));
            QCOMPARE(fileManager.shown, QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)});
            QTest::qWait(100);
            QVERIFY(opened.isEmpty());
        } else {
            QVERIFY(waitFor([&] { return !opened.isEmpty(); }));
            QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(dir.path())});
        }
        QDBusConnection::disconnectFromBus(tag + QStringLiteral("-client"));
        QDBusConnection::disconnectFromBus(tag + QStringLiteral("-service"));
    }
};

TOVRA_TEST(TestFileReveal)
#include "tst_filereveal.moc"
