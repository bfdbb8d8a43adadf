#include "buildconfig.h"
#include "store/updateservice.h"

#include <QFile>
#include <QTest>
#include "support/logcapture.h"
#include "support/testmain.h"
#include "updatefixture.h"

using namespace tovra;
using namespace tovra::test;
using Kind = UpdateService::Phase::Kind;

Q_DECLARE_METATYPE(UpdateService::Phase::Kind)

namespace {
QByteArray archiveBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes.append(char(i * 31 % 251));
    return bytes;
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
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("failure");
        const QString digest = UpdateFixture::sha256(bytes);
        QTest::newRow("digest") << digest << 200 << true << QString();
        QTest::newRow("upper-case digest") << digest.toUpper() << 200 << true << QString();
        QTest::newRow("no digest") << QString() << 200 << true << QString();
        QTest::newRow("mismatch") << UpdateFixture::sha256("other") << 200 << false
                                  << QStringLiteral("安装包校验失败，请稍后重试");
        QTest::newRow("digest with a space") << digest + u' ' << 200 << false
                                             << QStringLiteral("安装包校验失败，请稍后重试");
        QTest::newRow("error page, no digest") << QString() << 404 << false << QStringLiteral("下载失败（HTTP 404）");
    }
    void download()
    {
        QFETCH(QString, sha);
        QFETCH(int, status);
        QFETCH(bool, ok);
        QFETCH(QString, failure);
        UpdateFixture f;
        QVERIFY(f.start());
        const QByteArray bytes = archiveBytes();
        f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(bytes, status));
        LogCapture log;
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
        const QString archive = f.archivePath(31);
        if (ok) {
            QCOMPARE(last, 1.0);
            QCOMPARE(seen[seen.size() - 2].kind, Kind::Verifying);
            QCOMPARE(f.service->phase(), UpdateService::Phase::manualInstall(archive));
            QCOMPARE(readAll(archive), bytes);
            QCOMPARE(f.reports(QStringLiteral("download")).size(), 1);
            QCOMPARE(log.taken().contains(QStringLiteral("[Tovra] 服务端未提供 sha256，跳过完整性校验")), sha.isEmpty());
        } else {
            QCOMPARE(f.service->phase(), UpdateService::Phase::failed(failure));
            QVERIFY(!QFile::exists(archive));
            QVERIFY(f.reports(QStringLiteral("download")).isEmpty());
            if (status == 200) {
                QVERIFY(waitFor([&] { return !f.reports(QStringLiteral("fail")).isEmpty(); }));
                QCOMPARE(f.reports(QStringLiteral("fail"))[0].queryItemValue(QStringLiteral("message")),
                         QStringLiteral("sha256 校验失败"));
            }
        }
    }

    void unusableAddressIsRefused_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("data") << QStringLiteral("data:text/plain,hi");
        QTest::newRow("relative") << QStringLiteral("update.zip");
        QTest::newRow("empty") << QString();
    }
    void unusableAddressIsRefused()
    {
        QFETCH(QString, url);
        UpdateFixture f;
        QVERIFY(f.start());
        f.service->download(f.info(3, url));
        QVERIFY(waitFor([&] { return f.service->phase().kind == Kind::Failed; }));
        QCOMPARE(f.service->phase().message, QStringLiteral("下载地址不合法"));
        QVERIFY(!QFile::exists(f.service->workFolder(3)));
    }

    // Cancelling mid-transfer closes the panel, removes the partial file, and nothing the
    // abandoned transfer does afterwards shows up.
    void cancelDuringTransfer()
    {
        UpdateFixture f;
        QVERIFY(f.start());
        f.site.route(QStringLiteral("/files/pkg.bin"), FakeSite::text(archiveBytes()).stallingMidBody());
        f.service->setShowsPanel(true);
        f.service->download(f.info(9, f.site.url(QStringLiteral("files/pkg.bin")).toString()));
        QVERIFY(waitFor([&] { return f.service->phase() == UpdateService::Phase::downloading(0.5); }));
        QVERIFY(QFile::exists(f.archivePath(9)));
        f.service->cancel();
        QCOMPARE(f.service->phase().kind, Kind::Idle);
        QVERIFY(!f.service->showsPanel());
        QVERIFY(!QFile::exists(f.archivePath(9)));
        QTest::qWait(200);
        QCOMPARE(f.service->phase().kind, Kind::Idle);
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
    }
};

TOVRA_TEST(TestUpdateService)
#include "tst_updateservice.moc"
