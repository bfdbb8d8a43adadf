#include "buildconfig.h"
#include "store/updateservice.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <sys/stat.h>
#include "support/logcapture.h"
#include "support/testmain.h"
#include "updatefixture.h"
#include "ziparchive.h"

using namespace tovra;
using namespace tovra::test;
using Kind = UpdateService::Phase::Kind;

Q_DECLARE_METATYPE(UpdateService::Phase::Kind)

namespace {
QByteArray archiveBytes()
{
    auto entries = clientEntries();
    QByteArray filler;
    for (int i = 0; i < 200000; ++i)
        filler.append(char((i * 7919) >> 3));
    entries.append({QStringLiteral("TovraClient/share/data.bin"), filler});
    entries.append({QStringLiteral("TovraClient/share/helper"), "#!/bin/sh\n", 06755});
    return makeZip(entries);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class TestUpdateService : public QObject
{
    Q_OBJECT
private slots:
    void check_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("shows");
        QTest::addColumn<int>("checkReports");
        const QByteArray offer = QJsonDocument(UpdateFixture::offer(42, QStringLiteral("https://x/a"))).toJson();
        const QByteArray none = R"({"has_update":false,"force":false,"version":"","build":0,"url":"","sha256":"","size":0,"notes":""})";
        for (bool silent : {true, false}) {
            const char *s = silent ? "silent" : "menu";
            QTest::addRow("%s-update", s) << silent << FakeSite::ok(offer) << Kind::Available << true << 1;
            QTest::addRow("%s-none", s) << silent << FakeSite::ok(none) << Kind::UpToDate << !silent << 0;
            QTest::addRow("%s-error", s) << silent << FakeSite::text("oops", 500) << Kind::Failed << !silent << 0;
        }
    }
    void check()
    {
        QFETCH(bool, silent);
        QFETCH(FakeSite::Reply, reply);
        QFETCH(Kind, kind);
        QFETCH(bool, shows);
        QFETCH(int, checkReports);
        UpdateFixture f;
        QVERIFY(f.start());
        f.site.route(QStringLiteral("/api/update"), reply);
        QList<Kind> seen;
        connect(f.service.get(), &UpdateService::phaseChanged, this, [&] { seen.append(f.service->phase().kind); });
        QVERIFY(runTask(f.service->check(silent)));

        const auto requests = f.site.requestsTo(QStringLiteral("/api/update"));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].rawQuery, "build=" + QByteArray::number(build::kBuildNumber) + "&platform=linux");
        QCOMPARE(seen, (QList<Kind>{Kind::Checking, kind}));
        QCOMPARE(f.service->showsPanel(), shows);
        if (kind == Kind::Available) {
            QCOMPARE(f.service->phase().info.build, 42);
            QVERIFY(f.site.waitForRequests(2));
        } else if (kind == Kind::Failed) {
            QVERIFY(!f.service->phase().message.isEmpty());
        }
        QTest::qWait(50);
        const auto reports = f.reports(QStringLiteral("check"));
        QCOMPARE(reports.size(), checkReports);
        if (checkReports) {
            QCOMPARE(reports[0].queryItemValue(QStringLiteral("to_build")), QStringLiteral("42"));
            QVERIFY(!reports[0].hasQueryItem(QStringLiteral("message")));
        }
    }

    // A mandatory offer stays mandatory until an offer that is not replaces it.
    void forcedOutlivesCancelAndEmptyChecks()
    {
        UpdateFixture f;
        QVERIFY(f.start());
        f.serveCheck(UpdateFixture::offer(7, QStringLiteral("https://x/a"), {}, true));
        QVERIFY(runTask(f.service->check(true)));
        QVERIFY(f.service->forced());
        f.service->cancel();
        QCOMPARE(f.service->phase().kind, Kind::Idle);
        QVERIFY(!f.service->showsPanel());
        f.site.route(QStringLiteral("/api/update"), FakeSite::text("down", 503));
        QVERIFY(runTask(f.service->check(false)));
        QVERIFY(f.service->forced());
        f.serveCheck(UpdateFixture::offer(8, QStringLiteral("https://x/a")));
        QVERIFY(runTask(f.service->check(false)));
        QVERIFY(!f.service->forced());
    }

    void download_data()
    {
        const QByteArray bytes = archiveBytes();
        QTest::addColumn<QString>("sha");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("failReport");
        const QString digest = UpdateFixture::sha256(bytes);
        const QString mismatch = QStringLiteral("安装包校验失败，请稍后重试");
        QTest::newRow("digest") << digest << 200 << QString() << false;
        QTest::newRow("upper-case digest") << digest.toUpper() << 200 << QString() << false;
        QTest::newRow("mismatch") << UpdateFixture::sha256("other") << 200 << mismatch << true;
        QTest::newRow("digest with a space") << digest + u' ' << 200 << mismatch << true;
        // Without a digest nothing proves the package is the one offered.
        QTest::newRow("no digest") << QString() << 200 << mismatch << true;
        QTest::newRow("short digest") << digest.left(63) << 200 << mismatch << true;
        QTest::newRow("not hex") << QString(64, u'g') << 200 << mismatch << true;
        QTest::newRow("error page") << digest << 404 << QStringLiteral("下载失败（HTTP 404）") << false;
    }
    void download()
    {
        QFETCH(QString, sha);
        QFETCH(int, status);
        QFETCH(QString, failure);
        QFETCH(bool, failReport);
        UpdateFixture f;
        QVERIFY(f.start());
        const QByteArray bytes = archiveBytes();
        f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(bytes, status));
        QList<UpdateService::Phase> seen;
        connect(f.service.get(), &UpdateService::phaseChanged, this, [&] { seen.append(f.service->phase()); });
        f.service->download(f.info(31, f.site.url(QStringLiteral("files/pkg.bin")).toString(), sha));
        QVERIFY(waitFor([&] {
            const Kind k = f.service->phase().kind;
            return k == Kind::ManualInstall || k == Kind::Failed;
        }));

        QCOMPARE(seen.first(), UpdateService::Phase::downloading(0));
        QVERIFY(!f.site.requestsTo(QStringLiteral("/files/pkg.bin"))[0].hasHeader("Authorization"));
        double last = 0;
        for (const auto &phase : seen)
            if (phase.kind == Kind::Downloading) {
                QVERIFY(phase.progress >= last && phase.progress <= 1.0);
                last = phase.progress;
            }
        const QString folder = f.service->workFolder(31);
        if (failure.isEmpty()) {
            QCOMPARE(last, 1.0);
            QCOMPARE(seen[seen.size() - 2].kind, Kind::Verifying);
            // The test executable is no installed client, so the package is left for the user.
            const QString app = folder + QStringLiteral("/unpacked/TovraClient");
            QCOMPARE(f.service->phase(), UpdateService::Phase::manualInstall(app));
            QCOMPARE(readAll(f.archivePath(31)), bytes);
            QCOMPARE(readAll(app + QStringLiteral("/share/latest.txt")), "新版本 2.4.0\n");
            QVERIFY(QFileInfo(app + QStringLiteral("/tovra-client")).isExecutable());
            // Set-id bits never survive the unpacking.
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(app + QStringLiteral("/share/helper")).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, 0755u);
            QCOMPARE(f.reports(QStringLiteral("download")).size(), 1);
            // A sign-out empties the response cache; the package waiting to be installed stays.
            f.cache->clear();
            f.cache->flush();
            QVERIFY(QFileInfo(app + QStringLiteral("/tovra-client")).isFile());
        } else {
            QCOMPARE(f.service->phase(), UpdateService::Phase::failed(failure));
            QVERIFY(!QFile::exists(folder));
            QVERIFY(f.reports(QStringLiteral("download")).isEmpty());
            if (failReport) {
                QVERIFY(waitFor([&] { return !f.reports(QStringLiteral("fail")).isEmpty(); }));
                QCOMPARE(f.reports(QStringLiteral("fail"))[0].queryItemValue(QStringLiteral("message")),
                         QStringLiteral("sha256 校验失败"));
            }
        }
        // The work folder is the user's alone.
        QCOMPARE(QFileInfo(QFileInfo(folder).absolutePath()).permissions() & 0x0077, QFileDevice::Permissions());
    }

    void unusableAddressIsRefused_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("message");
        const QString refused = QStringLiteral("下载地址不合法");
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << refused;
        QTest::newRow("data") << QStringLiteral("data:text/plain,hi") << refused;
        QTest::newRow("relative") << QStringLiteral("update.zip") << refused;
        QTest::newRow("empty") << QString() << refused;
        QTest::newRow("plain http elsewhere") << QStringLiteral("http://example.com/update.zip") << refused;
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/update.zip") << refused;
        QTest::newRow("credentials") << QStringLiteral("https://u:p@example.com/update.zip") << refused;
        // Redirects are held to the same rule; the path names the redirect the site sends.
        QTest::newRow("redirect to plain http elsewhere") << QStringLiteral("redirect:http://example.com/update.zip") << refused;
        QTest::newRow("redirect to a file") << QStringLiteral("redirect:file:///etc/passwd") << refused;
        // One on this machine is followed (and here finds nothing).
        QTest::newRow("redirect on loopback") << QStringLiteral("redirect:SITE/missing.zip") << QStringLiteral("下载失败（HTTP 404）");
        // A usable address whose transfer fails says so in the pipeline's words.
        QTest::newRow("refused connection") << QStringLiteral("http://127.0.0.1:1/update.zip")
                                            << QStringLiteral("网络连接失败，请检查网络后重试");
        QTest::newRow("connection dropped mid-way") << QStringLiteral("CUT") << QStringLiteral("网络未连接，请检查网络");
    }
    void unusableAddressIsRefused()
    {
        QFETCH(QString, url);
        QFETCH(QString, message);
        UpdateFixture f;
        QVERIFY(f.start());
        if (url.startsWith(QStringLiteral("redirect:"))) {
            const QString to = url.mid(9).replace(QStringLiteral("SITE/"), f.site.url().toString());
            f.site.route(QStringLiteral("/moved.zip"), FakeSite::text("", 302).withHeader("Location", to.toUtf8()));
            url = f.site.url(QStringLiteral("moved.zip")).toString();
        } else if (url == QStringLiteral("CUT")) {
            f.site.route(QStringLiteral("/cut.zip"), FakeSite::text(archiveBytes()).closingMidBody());
            url = f.site.url(QStringLiteral("cut.zip")).toString();
        }
        f.service->download(f.info(3, url, UpdateFixture::sha256("x")));
        QVERIFY(waitFor([&] { return f.service->phase().kind == Kind::Failed; }, 10000));
        QCOMPARE(f.service->phase().message, message);
        QVERIFY(!QFile::exists(f.service->workFolder(3)));
        QVERIFY(!f.service->isDownloading());
    }

    // A cancel at any point leaves nothing: no later phase, no file, no transfer.
    void cancelLeavesNothing_data()
    {
        QTest::addColumn<bool>("duringReport");
        QTest::newRow("during the transfer") << false;
        QTest::newRow("while the download is reported") << true;
    }
    void cancelLeavesNothing()
    {
        QFETCH(bool, duringReport);
        UpdateFixture f;
        QVERIFY(f.start());
        const QByteArray bytes = archiveBytes();
        if (duringReport) {
            f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(bytes));
            f.site.route(QStringLiteral("/api/client_report"), FakeSite::text("null").stalling());
        } else {
            f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(bytes).stallingMidBody());
        }
        f.service->setShowsPanel(true);
        f.service->download(f.info(9, f.site.url(QStringLiteral("files/pkg.bin")).toString(), UpdateFixture::sha256(bytes)));
        QVERIFY(waitFor([&] {
            return duringReport ? f.service->phase().kind == Kind::Verifying
                                : f.service->phase() == UpdateService::Phase::downloading(0.5);
        }));
        if (duringReport)
            QVERIFY(f.site.waitForRequests(2));
        QVERIFY(QFile::exists(f.archivePath(9)));
        f.service->cancel();
        QCOMPARE(f.service->phase().kind, Kind::Idle);
        QVERIFY(!f.service->showsPanel());
        QVERIFY(!f.service->isDownloading());
        QVERIFY(!QFile::exists(f.service->workFolder(9)));
        QTest::qWait(300);
        QCOMPARE(f.service->phase().kind, Kind::Idle);
        QVERIFY(!QFile::exists(f.service->workFolder(9)));
    }

    // A re-issued build brings its own address; a start-up check leaves a running download alone.
    void offersAndChecksDuringADownload()
    {
        UpdateFixture f;
        QVERIFY(f.start());
        f.serveCheck(UpdateFixture::offer(12, QStringLiteral("https://old.example/a.zip")));
        QVERIFY(runTask(f.service->check(false)));
        f.serveCheck(UpdateFixture::offer(12, QStringLiteral("https://new.example/a.zip"), UpdateFixture::sha256("b")));
        QVERIFY(runTask(f.service->check(false)));
        QCOMPARE(f.service->phase().info.url, QStringLiteral("https://new.example/a.zip"));
        QCOMPARE(f.service->phase().info.sha256, UpdateFixture::sha256("b"));

        f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(archiveBytes()).stallingMidBody());
        f.service->download(f.info(12, f.site.url(QStringLiteral("files/pkg.bin")).toString(), UpdateFixture::sha256("b")));
        QVERIFY(waitFor([&] { return f.service->phase().progress >= 0.5; }));
        const qsizetype checks = f.site.requestsTo(QStringLiteral("/api/update")).size();
        QVERIFY(runTask(f.service->check(true)));
        QCOMPARE(f.site.requestsTo(QStringLiteral("/api/update")).size(), checks);
        QCOMPARE(f.service->phase().kind, Kind::Downloading);
        f.service->cancel();
    }

    // A second press starts over: the first transfer is dropped and only the second one counts.
    void downloadAgainReplacesTheRunningOne()
    {
        UpdateFixture f;
        QVERIFY(f.start());
        const QByteArray bytes = archiveBytes();
        f.site.enqueue(QStringLiteral("/files/pkg.bin"), FakeSite::text(bytes).stallingMidBody());
        f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(bytes));
        const UpdateInfo info = f.info(9, f.site.url(QStringLiteral("files/pkg.bin")).toString(), UpdateFixture::sha256(bytes));
        f.service->download(info);
        QVERIFY(waitFor([&] { return f.service->phase().progress > 0.4; }));
        f.service->download(info);
        QVERIFY(waitFor([&] { return f.service->phase().kind == Kind::ManualInstall; }));
        QCOMPARE(readAll(f.archivePath(9)), bytes);
        QCOMPARE(f.site.requestsTo(QStringLiteral("/files/pkg.bin")).size(), 2);
    }
};

TOVRA_TEST(TestUpdateService)
#include "tst_updateservice.moc"
