#include "store/installlocation.h"
#include "store/updateservice.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include "support/testmain.h"
#include "updatefixture.h"
#include "ziparchive.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace tovra;
using namespace tovra::test;
using Kind = UpdateService::Phase::Kind;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.setPermissions(mode);
}

// An installed client of an older build, as the bundle script lays it out.
bool makeInstalledUnit(const QString &unit)
{
    const auto exec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    return writeFile(unit + QStringLiteral("/.tovra-app"), "tovra-client\n")
        && writeFile(unit + QStringLiteral("/tovra-client"), "#!/bin/sh\n# build 2.3.0\necho old >> \"$HOME/launched.txt\"\n", exec)
        && writeFile(unit + QStringLiteral("/share/notes.txt"), "旧版本\n");
}

// Every entry below `root` with its kind and bytes: two equal snapshots mean an untouched tree.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QString key = QDir(root).relativeFilePath(info.filePath());
        files[key] = info.isSymLink() ? "link:" + info.symLinkTarget().toUtf8()
                   : info.isDir()     ? QByteArray("dir")
                                      : readAll(info.filePath()) + "|" + QByteArray::number(int(info.permissions()));
    }
    return files;
}

// The id of a process that has already ended, so the script's wait ends at once.
qint64 endedProcess()
{
    QProcess p;
    p.start(QStringLiteral("/bin/true"));
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}

struct Install
{
    UpdateFixture f;
    QString unit;
    qint64 pid = endedProcess();
    int quits = 0;

    bool start(const QString &unitPath, const QByteArray &zip, UpdateArchive::Limits limits = {})
    {
        if (!f.start())
            return false;
        f.service->setArchiveLimits(limits);
        unit = unitPath;
        f.service->setUnit(unit);
        f.service->setAwaitedProcess(pid);
        f.service->setAwaitRounds(50);
        f.service->setQuitHandler([this] { ++quits; });
        f.site.route(QStringLiteral("/files/update.zip"), FakeSite::text(zip));
        f.service->download(f.info(77, f.site.url(QStringLiteral("files/update.zip")).toString(), UpdateFixture::sha256(zip)));
        return waitFor([&] { return f.service->phase().kind != Kind::Downloading && f.service->phase().kind != Kind::Verifying; });
    }
    QString root() const { return QFileInfo(f.service->workFolder(77)).absolutePath(); }
    QString log() const { return UpdateService::logPath(root(), pid); }
    QString script() const { return UpdateService::scriptPath(root(), pid); }
    QString launched() const { return QDir(f.home.path()).filePath(QStringLiteral("launched.txt")); }
    QStringList logLines() const { return QString::fromUtf8(readAll(log())).split(u'\n', Qt::SkipEmptyParts); }
};

}

class TestUpdateInstall : public QObject
{
    Q_OBJECT
private slots:
    // The whole road: the real download, check, unpack, script and swap, ending in the new
    // build started from the installed place.
    void installsAndRelaunches_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("unreaped"); // the old client has exited but is not reaped yet
        QTest::newRow("applications folder") << QStringLiteral(".local/opt") << false;
        QTest::newRow("quote and CJK in the path") << QStringLiteral("It's 新/apps") << false;
        QTest::newRow("old client not yet reaped") << QStringLiteral(".local/opt") << true;
    }
    void installsAndRelaunches()
    {
        QFETCH(QString, place);
        QFETCH(bool, unreaped);
        Install in;
        if (unreaped && (in.pid = ::fork()) == 0)
            ::_exit(0);
        const auto reap = qScopeGuard([&] { ::waitpid(pid_t(in.pid), nullptr, WNOHANG); });
        const QString unit = QDir(in.f.home.path()).filePath(place + QStringLiteral("/TovraClient"));
        QVERIFY(makeInstalledUnit(unit));
        QVERIFY(in.start(unit, makeZip(clientEntries())));
        QCOMPARE(in.f.service->phase().kind, Kind::ReadyToInstall);
        const QString newUnit = in.f.service->phase().file;
        in.f.service->setShowsPanel(true);
        in.f.service->install(newUnit);
        QCOMPARE(in.quits, 1);
        QVERIFY(!in.f.service->showsPanel());
        QCOMPARE(in.f.service->phase().kind, Kind::Idle);

        // The shell makes the file before it writes the line: the line is what is waited for.
        QVERIFY2(waitFor([&] { return !QFile::exists(in.script()) && readAll(in.launched()).endsWith('\n'); }, 10000),
                 qPrintable(in.logLines().join(u'|') + QStringLiteral(" / launched: ") + QString::fromUtf8(readAll(in.launched()))));
        QCOMPARE(readAll(in.launched()), (unit + QStringLiteral("/tovra-client\n")).toUtf8());
        const QStringList lines = in.logLines();
        QCOMPARE(lines.size(), 3);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] 开始安装，等待进程 %1 退出$")
                                        .arg(in.pid))
                     .match(lines[0])
                     .hasMatch(),
                 qPrintable(lines[0]));
        QCOMPARE(lines.mid(1), (QStringList{QStringLiteral("复制完成"), QStringLiteral("已重新打开")}));
        QVERIFY(readAll(unit + QStringLiteral("/tovra-client")).contains("# build 2.4.0"));
        QCOMPARE(readAll(unit + QStringLiteral("/libtovra_engine.so")), "engine 2.4.0\n");
        QCOMPARE(readAll(unit + QStringLiteral("/share/latest.txt")), "新版本 2.4.0\n");
        QCOMPARE(QFileInfo(unit + QStringLiteral("/share/latest.txt")).isSymLink(), true);
        QCOMPARE(QDir(QFileInfo(unit).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("TovraClient")});
        QVERIFY(!QFile::exists(newUnit));
        QCOMPARE(QFileInfo(in.log()).permissions() & 0x0077, QFileDevice::Permissions());
    }

    // A copy or a swap that breaks leaves the installed client exactly as it was, not started,
    // with no half-made copy beside it.
    void failedCopyRollsBack_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("wrapper");
        QTest::addColumn<QString>("line");
        const QString rollback = QStringLiteral("复制失败，回滚");
        // Root reads every file, so an unreadable one cannot make cp fail here: a cp that copies
        // and then reports a file it could not read stands in for it, found first on the PATH.
        QTest::newRow("copy fails") << "cp"
                                    << QByteArray("#!/bin/sh\n/bin/cp \"$@\"\n"
                                                  "echo \"cp: cannot open 'share/data.bin' for reading: Permission denied\" >&2\nexit 1\n")
                                    << rollback;
        // The last rename, of the full new copy onto the target's name, is refused.
        QTest::newRow("swap fails") << "mv"
                                    << QByteArray("#!/bin/sh\ncase \"$3\" in *.new-*) echo \"mv: cannot move\" >&2; exit 1;; esac\n"
                                                  "exec /bin/mv \"$@\"\n")
                                    << rollback;
        // The old process never goes away (here: the test itself); the script gives up untouched.
        QTest::newRow("old process stays") << QString() << QByteArray()
                                           << QStringLiteral("旧进程仍在运行，放弃替换（不会删除现有版本）");
    }
    void failedCopyRollsBack()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, wrapper);
        QFETCH(QString, line);
        Install in;
        if (tool.isEmpty())
            in.pid = QCoreApplication::applicationPid();
        const QString unit = QDir(in.f.home.path()).filePath(QStringLiteral(".local/opt/TovraClient"));
        QVERIFY(makeInstalledUnit(unit));
        const auto before = snapshot(unit);
        QVERIFY(in.start(unit, makeZip(clientEntries())));
        in.f.service->setAwaitRounds(3);
        QCOMPARE(in.f.service->phase().kind, Kind::ReadyToInstall);
        const QString bin = QDir(in.f.home.path()).filePath(QStringLiteral("bin"));
        if (!tool.isEmpty())
            QVERIFY(writeFile(bin + u'/' + tool, wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + path);
        in.f.service->install(in.f.service->phase().file);
        qputenv("PATH", path);
        QCOMPARE(in.quits, 1);
        QVERIFY(waitFor([&] { return in.logLines().contains(line); }, 10000));
        QTest::qWait(200);
        const QStringList lines = in.logLines();
        QCOMPARE(lines.last(), line);
        // A script that gave up stays, beside its log, for whoever looks into it.
        QVERIFY(QFile::exists(in.script()));
        QCOMPARE(snapshot(unit), before);
        QVERIFY(!QFile::exists(in.launched()));
        QCOMPARE(QDir(QFileInfo(unit).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("TovraClient")});
    }

    // Where the script may not replace the client, the sheet says so and nothing is started.
    void manualInstall_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        const QString unmarked = QStringLiteral("当前程序所在的文件夹不是安装好的 Tovra（没有安装标记），无法自动替换。");
        QTest::newRow("read-only parent") << "read-only" << QStringLiteral("当前程序所在目录没有写入权限，无法自动替换。");
        QTest::newRow("build tree") << "build" << unmarked;
        QTest::newRow("no marker") << "unmarked" << unmarked;
    }
    void manualInstall()
    {
        QFETCH(QString, kind);
        Install in;
        QString unit = QDir(in.f.home.path()).filePath(QStringLiteral("ro/TovraClient"));
        QVERIFY(makeInstalledUnit(unit));
        if (kind == "read-only")
            QVERIFY(QFile::setPermissions(QFileInfo(unit).absolutePath(), QFile::ReadOwner | QFile::ExeOwner));
        else if (kind == "build")
            unit = QCoreApplication::applicationDirPath();
        else
            QVERIFY(QFile::remove(unit + QStringLiteral("/.tovra-app")));
        // Not of the build tree: its gigabytes of objects would be read for nothing.
        const auto before = kind != "build" ? snapshot(unit) : QMap<QString, QByteArray>();
        QVERIFY(in.start(unit, makeZip(clientEntries())));
        QCOMPARE(in.f.service->phase().kind, Kind::ManualInstall);
        QTEST(in.f.service->phase().message, "reason");
        in.f.service->install(in.f.service->phase().file);
        QCOMPARE(in.quits, 0);
        QCOMPARE(in.f.service->phase().kind, Kind::Failed);
        QVERIFY(!QFile::exists(in.script()));
        if (kind != "build")
            QCOMPARE(snapshot(unit), before);
        QFile::setPermissions(QFileInfo(unit).absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Archives with the right digest that still must not be unpacked.
    void hostileArchives_data()
    {
        QTest::addColumn<QList<ZipEntry>>("entries");
        QTest::addColumn<QString>("message");
        QTest::addColumn<quint16>("fileType"); // given to TovraClient/special, when not 0
        const QString refused = QStringLiteral("解压失败");
        const QString noApp = QStringLiteral("安装包内没有找到 .app");
        const QString tmpCanary = QDir::tempPath() + QStringLiteral("/tovra-hostile-canary");
        auto with = [](QList<ZipEntry> extra) {
            auto entries = clientEntries();
            entries.append(extra);
            return entries;
        };
        QTest::newRow("climbs out") << with({{QStringLiteral("TovraClient/../../canary"), "x"}}) << refused << quint16(0);
        QTest::newRow("climbs out first") << QList<ZipEntry>{{QStringLiteral("../canary"), "x"}} + clientEntries() << refused << quint16(0);
        QTest::newRow("absolute") << with({{tmpCanary, "x"}}) << refused << quint16(0);
        QTest::newRow("link to /home") << with({ZipEntry::link(QStringLiteral("TovraClient/home"), QStringLiteral("/home"))})
                                       << refused << quint16(0);
        QTest::newRow("link climbing out") << with({ZipEntry::link(QStringLiteral("TovraClient/up"), QStringLiteral("../../.."))})
                                           << refused << quint16(0);
        QTest::newRow("write through a link")
            << with({ZipEntry::link(QStringLiteral("TovraClient/lib"), QStringLiteral("share")),
                     {QStringLiteral("TovraClient/lib/canary"), "x"}})
            << refused << quint16(0);
        QTest::newRow("duplicate name") << with({{QStringLiteral("TovraClient/share/notes.txt"), "again"}}) << refused << quint16(0);
        QTest::newRow("zip bomb") << with({{QStringLiteral("TovraClient/share/zeros"), QByteArray(3 << 20, '\0')}})
                                  << refused << quint16(0);
        QList<ZipEntry> many = clientEntries();
        for (int i = 0; i < 300; ++i)
            many.append({QStringLiteral("TovraClient/many/%1").arg(i), "x"});
        QTest::newRow("too many entries") << many << refused << quint16(0);
        QTest::newRow("two apps") << clientEntries() + clientEntries(QStringLiteral("Other")) << noApp << quint16(0);
        QTest::newRow("readme only") << QList<ZipEntry>{{QStringLiteral("README.txt"), "hello"}} << noApp << quint16(0);
        QTest::newRow("app in a subfolder") << clientEntries(QStringLiteral("dist/TovraClient")) << noApp << quint16(0);
        QTest::newRow("not a zip") << QList<ZipEntry>{} << refused << quint16(0);
        const QList<ZipEntry> special = with({{QStringLiteral("TovraClient/special"), "x"}});
        QByteArray noise(600 << 10, '\0');
        quint32 seed = 2463534242u;
        for (char &c : noise) {
            seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
            c = char(seed);
        }
        QTest::newRow("oversized download") << with({{QStringLiteral("TovraClient/share/noise"), noise}})
                                            << QStringLiteral("下载失败：安装包超出大小上限") << quint16(0);
        // (libarchive itself reads a FIFO entry of a zip as a plain file, which is harmless.)
        QTest::newRow("character device") << special << refused << quint16(0020644);
        QTest::newRow("block device") << special << refused << quint16(0060644);
    }
    void hostileArchives()
    {
        QFETCH(QList<ZipEntry>, entries);
        QFETCH(QString, message);
        QFETCH(quint16, fileType);
        Install in;
        const QString unit = QDir(in.f.home.path()).filePath(QStringLiteral(".local/opt/TovraClient"));
        QVERIFY(makeInstalledUnit(unit));
        const auto home = snapshot(in.f.home.path());
        QByteArray zip = entries.isEmpty() ? QByteArray("<html>not found</html>") : makeZip(entries);
        if (fileType)
            zip = withFileType(zip, QStringLiteral("TovraClient/special"), fileType);
        QVERIFY(in.start(unit, zip,
                         {.entries = 200, .bytes = 1 << 20, .archive = 512 << 10}));
        QCOMPARE(in.f.service->phase().message, message);
        QCOMPARE(in.f.service->phase().kind, Kind::Failed);
        QVERIFY(!QFile::exists(in.f.service->workFolder(77)));
        QVERIFY(!QFile::exists(QDir::tempPath() + QStringLiteral("/tovra-hostile-canary")));
        // Apart from the (now empty) work folder and the report log, the home is as it was.
        auto after = snapshot(in.f.home.path());
        for (auto it = after.begin(); it != after.end();)
            it = it.key().startsWith(QStringLiteral("cache/")) || it.key() == QStringLiteral("cache") ? after.erase(it) : std::next(it);
        auto expected = home;
        for (auto it = expected.begin(); it != expected.end();)
            it = it.key().startsWith(QStringLiteral("cache")) ? expected.erase(it) : std::next(it);
        for (const QString &key : after.keys())
            QVERIFY2(expected.contains(key) || key.startsWith(QStringLiteral("data/")), qPrintable(key));
        QVERIFY(QDir(in.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }

    // Names that another account could have prepared in the shared temporary folder play no
    // part; a work folder that is not our own private folder is refused.
    void plantedPaths_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::addColumn<bool>("works");
        QTest::newRow("old temporary names") << "temp" << true;
        QTest::newRow("work folder is a link") << "link" << false;
        QTest::newRow("work folder open to all") << "open" << true;
    }
    void plantedPaths()
    {
        QFETCH(QString, plant);
        QFETCH(bool, works);
        Install in;
        QVERIFY(in.f.start());
        const QString tmp = QDir(in.f.home.path()).filePath(QStringLiteral("tmp"));
        const QString victim = QDir(in.f.home.path()).filePath(QStringLiteral("victim"));
        QVERIFY(writeFile(victim + QStringLiteral("/precious.txt"), "keep me"));
        QVERIFY(writeFile(victim + QStringLiteral("/file.txt"), "keep me too"));
        const QByteArray savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmp));
        QDir().mkpath(tmp);
        const QString root = QDir(in.f.home.cacheHome()).filePath(QStringLiteral("TovraClient-update"));
        if (plant == "temp") {
            QVERIFY(QFile::link(victim, tmp + QStringLiteral("/TovraUpdate-77")));
            QVERIFY(QFile::link(victim + QStringLiteral("/file.txt"), tmp + QStringLiteral("/tovra-install-%1.sh").arg(in.pid)));
            QVERIFY(QFile::link(victim + QStringLiteral("/file.txt"), tmp + QStringLiteral("/tovra-install-%1.log").arg(in.pid)));
        } else if (plant == "link") {
            QDir().mkpath(QFileInfo(root).absolutePath());
            QVERIFY(QFile::link(victim, root));
        } else {
            QDir().mkpath(root);
            QVERIFY(QFile::setPermissions(root, QFileDevice::Permissions(0x7777)));
        }
        const auto before = snapshot(victim);
        const QString unit = QDir(in.f.home.path()).filePath(QStringLiteral(".local/opt/TovraClient"));
        QVERIFY(makeInstalledUnit(unit));
        in.unit = unit;
        in.f.service->setUnit(unit);
        in.f.service->setAwaitedProcess(in.pid);
        in.f.service->setQuitHandler([&] { ++in.quits; });
        const QByteArray zip = makeZip(clientEntries());
        in.f.site.route(QStringLiteral("/files/update.zip"), FakeSite::text(zip));
        in.f.service->download(in.f.info(77, in.f.site.url(QStringLiteral("files/update.zip")).toString(), UpdateFixture::sha256(zip)));
        QVERIFY(waitFor([&] { return in.f.service->phase().kind == Kind::ReadyToInstall || in.f.service->phase().kind == Kind::Failed; }));
        if (works) {
            QCOMPARE(in.f.service->phase().kind, Kind::ReadyToInstall);
            QCOMPARE(QFileInfo(root).permissions() & 0x0077, QFileDevice::Permissions());
            in.f.service->install(in.f.service->phase().file);
            QVERIFY(waitFor([&] { return QFile::exists(in.launched()); }, 10000));
            QVERIFY(readAll(unit + QStringLiteral("/tovra-client")).contains("# build 2.4.0"));
        } else {
            QCOMPARE(in.f.service->phase(), UpdateService::Phase::failed(QStringLiteral("无法准备更新目录：") + root));
        }
        QCOMPARE(snapshot(victim), before);
        qputenv("TMPDIR", savedTmp);
        if (savedTmp.isEmpty())
            qunsetenv("TMPDIR");
    }
};

TOVRA_TEST(TestUpdateInstall)
#include "tst_updateinstall.moc"
