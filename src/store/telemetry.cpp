#include "store/telemetry.h"

#include "buildconfig.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "store/clock.h"
#include "store/log.h"
#include "network/paths.h"
#include "store/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUuid>

namespace tovra {

namespace {
const QString kDeviceFile = QStringLiteral("device");
const QString kLastReportFile = QStringLiteral("last_report");
const QString kReportPath = QStringLiteral("api/client_report");

Telemetry *&installed()
{
    static Telemetry *telemetry = nullptr;
    return telemetry;
}
}

Telemetry::Telemetry(APIClient *client, AuthStore *auth, std::optional<QString> folder, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_auth(auth)
{
    if (!folder) {
        logLine(QStringLiteral("找不到应用数据目录，设备标识只保存在本次运行中"));
        return;
    }
    makePrivateFolder(*folder);
    m_dir = *folder;
}

Telemetry::~Telemetry()
{
    if (installed() == this)
        installed() = nullptr;
}

Telemetry *Telemetry::shared()
{
    if (!installed())
        installed() = new Telemetry(APIClient::shared(), AuthStore::shared(), appDataDir(), qApp);
    return installed();
}

void Telemetry::setShared(Telemetry *telemetry)
{
    installed() = telemetry;
}

bool Telemetry::isValidIdentifier(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "\\A[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\z"));
    return form.match(text).hasMatch();
}

QString Telemetry::dayText(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

std::optional<QString> Telemetry::readFile(const QString &name) const
{
    if (m_dir.isEmpty())
        return std::nullopt;
    return readUtf8File(QDir(m_dir).filePath(name));
}

bool Telemetry::writeFile(const QString &name, const QString &text) const
{
    if (m_dir.isEmpty())
        return false;
    return !writeFileAtomically(QDir(m_dir).filePath(name), text.toUtf8());
}

QString Telemetry::device()
{
    if (const auto stored = readFile(kDeviceFile)) {
        const QString trimmed = stored->trimmed();
        if (isValidIdentifier(trimmed))
            return trimmed;
    }
    // An identifier already made this run is reused, so a folder that refuses writes does not
    // turn one machine into a new device on every report.
    if (!m_device)
        m_device = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    writeFile(kDeviceFile, *m_device);
    return *m_device;
}

Telemetry::Form Telemetry::base()
{
    const bool loggedIn = m_auth && m_auth->tokenValue().has_value();
    const auto user = m_auth ? m_auth->user() : std::nullopt;
    const bool vip = user && user->isVip;
    const QString version = QString::fromLatin1(build::kVersion);
    return {
        {QStringLiteral("device"), device()},
        // The server offers the build for the platform named here.
        {QStringLiteral("platform"), QStringLiteral("linux")},
        {QStringLiteral("version"), version.isEmpty() ? QStringLiteral("0") : version},
        {QStringLiteral("build"), QString::number(build::kBuildNumber)},
        {QStringLiteral("os"), QSysInfo::prettyProductName()},
        {QStringLiteral("logged_in"), loggedIn ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("is_vip"), vip ? QStringLiteral("1") : QStringLiteral("0")},
    };
}

QCoro::Task<bool> Telemetry::post(Form form)
{
    if (!m_client)
        co_return false;
    const auto result = co_await m_client->post<Empty>(kReportPath, form);
    if (!result) {
        logLine(QStringLiteral("统计上报失败"), result.error().description());
        co_return false;
    }
    co_return true;
}

QCoro::Task<void> Telemetry::heartbeat()
{
    // Named before anything is sent: a report posted just before midnight counts for the day it
    // was started on.
    const QString today = dayText(Clock::today());
    const auto stored = readFile(kLastReportFile);
    const std::optional<QString> last = stored ? std::optional<QString>(stored->trimmed()) : m_lastReport;
    if (last == today)
        co_return;

    QPointer self = this;
    const bool sent = co_await post(base());
    if (!self || !sent)
        co_return;
    m_lastReport = today;
    writeFile(kLastReportFile, today);
}

QCoro::Task<void> Telemetry::event(QString name, int toBuild, QString message)
{
    Form form = base();
    form.insert(QStringLiteral("event"), name);
    form.insert(QStringLiteral("to_build"), QString::number(toBuild));
    if (!message.isEmpty())
        form.insert(QStringLiteral("message"), message);
    co_await post(std::move(form));
}

}
