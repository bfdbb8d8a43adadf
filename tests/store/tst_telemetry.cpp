#include "store/telemetry.h"

#include "buildconfig.h"
#include "store/clock.h"

#include <QFile>
#include <QSysInfo>
#include <QTest>
#include <QUrlQuery>
#include "support/logcapture.h"
#include "sitefixture.h"
#include "support/testmain.h"

using namespace tovra;
using tovra::test::FakeSite;

namespace {
const QString kReport = QStringLiteral("/api/client_report");

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<QString, QString> formOf(const FakeSite::Request &request)
{
    QMap<QString, QString> fields;
    for (const auto &[key, value] : request.form().queryItems(QUrl::FullyDecoded))
        fields.insert(key, value);
    return fields;
}

bool isLowerCaseUuid(const QString &text)
{
    return Telemetry::isValidIdentifier(text) && text == text.toLower();
}
}

class TestTelemetry : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<SiteFixture>();
        QVERIFY(m_env->start());
        m_env->site.route(kReport, FakeSite::ok("null"));
        m_now = QDateTime(QDate(2024, 5, 1), QTime(9, 30));
        m_clock.emplace([this] { return m_now; });
        m_telemetry = std::make_unique<Telemetry>(m_env->client.get(), m_env->auth.get(), m_env->folder());
    }
    void cleanup()
    {
        m_telemetry.reset();
        m_clock.reset();
        m_env.reset();
    }

    void heartbeatFields_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("isVipJson");
        QTest::addColumn<QString>("loggedIn");
        QTest::addColumn<QString>("isVip");
        QTest::newRow("signed out") << QString() << QByteArray() << QStringLiteral("0") << QStringLiteral("0");
        QTest::newRow("token, no profile yet") << QStringLiteral("t1") << QByteArray() << QStringLiteral("1") << QStringLiteral("0");
        QTest::newRow("member") << QStringLiteral("t1") << QByteArray("true") << QStringLiteral("1") << QStringLiteral("1");
        QTest::newRow("not a member") << QStringLiteral("t1") << QByteArray("false") << QStringLiteral("1") << QStringLiteral("0");
    }
    void heartbeatFields()
    {
        QFETCH(QString, token);
        QFETCH(QByteArray, isVipJson);
        QFETCH(QString, loggedIn);
        QFETCH(QString, isVip);
        if (!token.isEmpty())
            m_env->auth->save(token);
        if (!isVipJson.isEmpty()) {
            m_env->site.route(QStringLiteral("/api/me"),
                              FakeSite::ok("{\"uid\":\"7\",\"gold\":0,\"vip_level\":2,\"vip_expired\":0,\"is_vip\":"
                                           + isVipJson + "}"));
            QVERIFY(tovra::test::runTask(m_env->auth->refresh()));
            QVERIFY(m_env->auth->user());
        }

        QVERIFY(tovra::test::runTask(m_telemetry->heartbeat()));
        const auto sent = m_env->site.requestsTo(kReport);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().method, QByteArray("POST"));
        QVERIFY(sent.first().rawQuery.isEmpty());
        QCOMPARE(sent.first().header("Authorization"),
                 token.isEmpty() ? QByteArray() : QByteArray("Bearer ") + token.toUtf8());

        const auto fields = formOf(sent.first());
        const QString device = QString::fromUtf8(readBytes(m_env->file(QStringLiteral("device"))));
        QVERIFY(isLowerCaseUuid(device));
        const QMap<QString, QString> expected{
            {QStringLiteral("device"), device},
            {QStringLiteral("platform"), QStringLiteral("linux")},
            {QStringLiteral("version"), QString::fromLatin1(build::kVersion)},
            {QStringLiteral("build"), QString::number(build::kBuildNumber)},
            {QStringLiteral("os"), QSysInfo::prettyProductName()},
            {QStringLiteral("logged_in"), loggedIn},
            {QStringLiteral("is_vip"), isVip},
        };
        QCOMPARE(fields, expected);
    }

    void oneHeartbeatPerDay()
    {
        const QString lastReport = m_env->file(QStringLiteral("last_report"));
        QVERIFY(tovra::test::runTask(m_telemetry->heartbeat()));
        QCOMPARE(readBytes(lastReport), QByteArray("2024-05-01"));

        // Later the same day, in this run and in the next one.
        m_now = QDateTime(QDate(2024, 5, 1), QTime(23, 59, 59));
        QVERIFY(tovra::test::runTask(m_telemetry->heartbeat()));
        Telemetry nextLaunch(m_env->client.get(), m_env->auth.get(), m_env->folder());
        QVERIFY(tovra::test::runTask(nextLaunch.heartbeat()));
        QCOMPARE(m_env->site.requestsTo(kReport).size(), 1);

        m_now = QDateTime(QDate(2024, 5, 2), QTime(0, 0, 1));
        QVERIFY(tovra::test::runTask(nextLaunch.heartbeat()));
        QCOMPARE(m_env->site.requestsTo(kReport).size(), 2);
        QCOMPARE(readBytes(lastReport), QByteArray("2024-05-02"));
    }

    void storedDayDecides_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("sends");
        QTest::newRow("today with line end") << QByteArray("2024-05-01\n") << false;
        QTest::newRow("today padded") << QByteArray("  2024-05-01 \r\n") << false;
        QTest::newRow("yesterday") << QByteArray("2024-04-30") << true;
        QTest::newRow("other form of today") << QByteArray("2024/05/01") << true;
        QTest::newRow("not utf-8") << QByteArray("\xff") << true;
        QTest::newRow("empty") << QByteArray("") << true;
    }
    void storedDayDecides()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, sends);
        const QString lastReport = m_env->file(QStringLiteral("last_report"));
        QVERIFY(writeBytes(lastReport, stored));
        QVERIFY(tovra::test::runTask(m_telemetry->heartbeat()));
        QCOMPARE(m_env->site.requestsTo(kReport).size(), sends ? 1 : 0);
        QCOMPARE(readBytes(lastReport), sends ? QByteArray("2024-05-01") : stored);
    }

    void failedHeartbeatIsRetriedNextLaunch_data()
    {
        QTest::addColumn<FakeSite::Reply>("failure");
        QTest::newRow("server refuses") << FakeSite::json(FakeSite::envelope(500, QStringLiteral("统计 50% 故障")));
        QTest::newRow("not found, empty body") << FakeSite::text("", 404);
        QTest::newRow("connection dropped") << FakeSite::ok("null").closingMidBody();
    }
    void failedHeartbeatIsRetriedNextLaunch()
    {
        QFETCH(FakeSite::Reply, failure);
        const QString lastReport = m_env->file(QStringLiteral("last_report"));
        QVERIFY(writeBytes(lastReport, "2024-04-30"));
        m_env->site.enqueue(kReport, failure);
        LogCapture log;
        QVERIFY(tovra::test::runTask(m_telemetry->heartbeat()));
        QCOMPARE(readBytes(lastReport), QByteArray("2024-04-30"));
        const QStringList lines = log.taken();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QStringLiteral("[Tovra] 统计上报失败: ")), qPrintable(lines.first()));
        if (failure.status == 200 && !failure.closeMidBody)
            QCOMPARE(lines.first(), QStringLiteral("[Tovra] 统计上报失败: 统计 50% 故障（500）"));

        Telemetry nextLaunch(m_env->client.get(), m_env->auth.get(), m_env->folder());
        QVERIFY(tovra::test::runTask(nextLaunch.heartbeat()));
        QCOMPARE(m_env->site.requestsTo(kReport).size(), 2);
        QCOMPARE(readBytes(lastReport), QByteArray("2024-05-01"));
    }

    void dayIsFixedBeforeSending()
    {
        // The reply arrives after midnight: the report still counts for the day it started on.
        m_now = QDateTime(QDate(2024, 5, 1), QTime(23, 59, 59));
        m_env->site.route(kReport, [this](const FakeSite::Request &) {
            m_now = QDateTime(QDate(2024, 5, 2), QTime(0, 0, 2));
            return FakeSite::ok("null");
        });
        QVERIFY(tovra::test::runTask(m_telemetry->heartbeat()));
        QCOMPARE(readBytes(m_env->file(QStringLiteral("last_report"))), QByteArray("2024-05-01"));
    }

    void deviceFile_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("sent"); // empty: a new lower-case identifier
        QTest::newRow("upper case with line end") << QByteArray("3F2504E0-4F89-11D3-9A0C-0305E82C3301\n")
                                                  << QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
        QTest::newRow("mixed case") << QByteArray("3f2504e0-4F89-11d3-9A0C-0305e82c3301")
                                    << QStringLiteral("3f2504e0-4F89-11d3-9A0C-0305e82c3301");
        QTest::newRow("missing") << QByteArray() << QString();
        QTest::newRow("words") << QByteArray("my-computer") << QString();
        QTest::newRow("braces") << QByteArray("{3f2504e0-4f89-11d3-9a0c-0305e82c3301}") << QString();
        QTest::newRow("no dashes") << QByteArray("3f2504e04f8911d39a0c0305e82c3301") << QString();
        QTest::newRow("not hexadecimal") << QByteArray("3g2504e0-4f89-11d3-9a0c-0305e82c3301") << QString();
        QTest::newRow("two lines") << QByteArray("3f2504e0-4f89-11d3-9a0c-0305e82c3301\nx") << QString();
    }
    void deviceFile()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, sent);
        const QString path = m_env->file(QStringLiteral("device"));
        if (!stored.isNull())
            QVERIFY(writeBytes(path, stored));

        QVERIFY(tovra::test::runTask(m_telemetry->event(QStringLiteral("check"), 5)));
        const QString device = formOf(m_env->site.requestsTo(kReport).last()).value(QStringLiteral("device"));
        if (!sent.isEmpty()) {
            QCOMPARE(device, sent);
            QCOMPARE(readBytes(path), stored); // kept as it was, line end and all
        } else {
            QVERIFY2(isLowerCaseUuid(device), qPrintable(device));
            QCOMPARE(readBytes(path), device.toUtf8());
        }

        // The identifier stays the same from then on.
        QVERIFY(tovra::test::runTask(m_telemetry->event(QStringLiteral("check"), 5)));
        QCOMPARE(formOf(m_env->site.requestsTo(kReport).last()).value(QStringLiteral("device")), device);
    }

    void unwritableDeviceFileKeepsOneIdentifierPerRun()
    {
        QVERIFY(QDir().mkpath(m_env->file(QStringLiteral("device"))));
        QVERIFY(tovra::test::runTask(m_telemetry->event(QStringLiteral("check"), 1)));
        QVERIFY(tovra::test::runTask(m_telemetry->event(QStringLiteral("download"), 1)));
        const auto sent = m_env->site.requestsTo(kReport);
        QCOMPARE(sent.size(), 2);
        const QString first = formOf(sent.at(0)).value(QStringLiteral("device"));
        QVERIFY(isLowerCaseUuid(first));
        QCOMPARE(formOf(sent.at(1)).value(QStringLiteral("device")), first);
    }

    void events_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("build");
        QTest::addColumn<QString>("message");
        QTest::newRow("check") << QStringLiteral("check") << 1204 << QString();
        QTest::newRow("fail with message") << QStringLiteral("fail") << 1204 << QStringLiteral("sha256 校验失败");
        QTest::newRow("hostile message") << QStringLiteral("fail") << 7 << QStringLiteral("a&b=c+d %20 包内没有 .app");
        QTest::newRow("install") << QStringLiteral("install") << 0 << QString();
    }
    void events()
    {
        QFETCH(QString, name);
        QFETCH(int, build);
        QFETCH(QString, message);
        const QString lastReport = m_env->file(QStringLiteral("last_report"));
        QVERIFY(writeBytes(lastReport, "2020-01-01"));

        QVERIFY(tovra::test::runTask(m_telemetry->event(name, build, message)));
        const auto sent = m_env->site.requestsTo(kReport);
        QCOMPARE(sent.size(), 1);
        const auto fields = formOf(sent.first());
        QCOMPARE(fields.value(QStringLiteral("event")), name);
        QCOMPARE(fields.value(QStringLiteral("to_build")), QString::number(build));
        QCOMPARE(fields.contains(QStringLiteral("message")), !message.isEmpty());
        QCOMPARE(fields.value(QStringLiteral("message")), message);
        QCOMPARE(fields.value(QStringLiteral("platform")), QStringLiteral("linux"));
        QCOMPARE(fields.size(), message.isEmpty() ? 9 : 10);
        // Events are not the daily report.
        QCOMPARE(readBytes(lastReport), QByteArray("2020-01-01"));
    }

    void failedEventIsLogged()
    {
        m_env->site.enqueue(kReport, FakeSite::json(FakeSite::envelope(403, QStringLiteral("拒绝"))));
        LogCapture log;
        QVERIFY(tovra::test::runTask(m_telemetry->event(QStringLiteral("install"), 0)));
        QCOMPARE(log.taken(), QStringList{QStringLiteral("[Tovra] 统计上报失败: 拒绝（403）")});
    }

    void withoutFolderStateStaysInMemory()
    {
        LogCapture log;
        Telemetry memoryOnly(m_env->client.get(), m_env->auth.get(), std::nullopt);
        QCOMPARE(log.taken().size(), 1);
        QVERIFY(tovra::test::runTask(memoryOnly.heartbeat()));
        QVERIFY(tovra::test::runTask(memoryOnly.heartbeat()));
        QVERIFY(tovra::test::runTask(memoryOnly.event(QStringLiteral("check"), 3)));
        const auto sent = m_env->site.requestsTo(kReport);
        QCOMPARE(sent.size(), 2);
        const QString device = formOf(sent.first()).value(QStringLiteral("device"));
        QVERIFY(isLowerCaseUuid(device));
        QCOMPARE(formOf(sent.last()).value(QStringLiteral("device")), device);
        // Nothing landed beside the working directory either.
        QVERIFY(!QFile::exists(QStringLiteral("device")));
        QVERIFY(!QFile::exists(QStringLiteral("last_report")));
    }

private:
    std::unique_ptr<SiteFixture> m_env;
    QDateTime m_now;
    std::optional<ScopedClock> m_clock;
    std::unique_ptr<Telemetry> m_telemetry;
};

TOVRA_TEST(TestTelemetry)
#include "tst_telemetry.moc"
