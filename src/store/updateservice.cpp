#include "store/updateservice.h"

#include "buildconfig.h"
#include "network/apiclient.h"
#include "store/log.h"
#include "store/telemetry.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace tovra {

// One archive transfer. The cancelling side cleans up, so a transfer that is dropped never
// touches the phase or the file again, even when its reply finishes later.
struct UpdateService::Transfer
{
    QPointer<QNetworkReply> reply;
    QFile file;
    QCryptographicHash hash{QCryptographicHash::Sha256};
    qint64 received = 0;
    bool writeFailed = false;
    bool dropped = false;
};

UpdateService::Phase UpdateService::Phase::available(UpdateInfo info)
{
    Phase phase = of(Kind::Available);
    phase.info = std::move(info);
    return phase;
}

UpdateService::Phase UpdateService::Phase::downloading(double progress)
{
    Phase phase = of(Kind::Downloading);
    phase.progress = progress;
    return phase;
}

UpdateService::Phase UpdateService::Phase::readyToInstall(QString file)
{
    Phase phase = of(Kind::ReadyToInstall);
    phase.file = std::move(file);
    return phase;
}

UpdateService::Phase UpdateService::Phase::manualInstall(QString file)
{
    Phase phase = of(Kind::ManualInstall);
    phase.file = std::move(file);
    return phase;
}

UpdateService::Phase UpdateService::Phase::failed(QString message)
{
    Phase phase = of(Kind::Failed);
    phase.message = std::move(message);
    return phase;
}

bool UpdateService::Phase::operator==(const Phase &other) const
{
    if (kind != other.kind)
        return false;
    switch (kind) {
    case Kind::Available:
        return info.build == other.info.build;
    case Kind::Downloading:
        return progress == other.progress;
    case Kind::ReadyToInstall:
    case Kind::ManualInstall:
        return file == other.file;
    case Kind::Failed:
        return message == other.message;
    default:
        return true;
    }
}

UpdateService::UpdateService(QObject *parent)
    : QObject(parent)
{
}

UpdateService::~UpdateService()
{
    dropTransfer();
}

UpdateService *UpdateService::shared()
{
    static UpdateService *const instance = new UpdateService(QCoreApplication::instance());
    return instance;
}

qint64 UpdateService::currentBuild()
{
    return build::kBuildNumber;
}

QString UpdateService::currentVersion()
{
    const QString version = QString::fromUtf8(build::kVersion);
    return version.isEmpty() ? u"开发版"_s : version;
}

QString UpdateService::workFolder(qint64 build) const
{
    const QString base = m_tempDir.isEmpty() ? QDir::tempPath() : m_tempDir;
    return QDir(base).filePath(u"TovraUpdate-"_s + QString::number(build));
}

void UpdateService::setClient(APIClient *client)
{
    m_client = client;
}

void UpdateService::setTelemetry(Telemetry *telemetry)
{
    m_telemetry = telemetry;
}

APIClient *UpdateService::client() const
{
    return m_client ? m_client.data() : APIClient::shared();
}

Telemetry *UpdateService::telemetry() const
{
    return m_telemetry ? m_telemetry.data() : Telemetry::shared();
}

QNetworkAccessManager *UpdateService::manager()
{
    // A manager of our own: the archive must not go through the API client's disk cache, and
    // the site's token has no business travelling to wherever the archive is hosted.
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    return m_manager;
}

void UpdateService::setPhase(Phase phase)
{
    m_phase = std::move(phase);
    emit phaseChanged();
}

void UpdateService::setShowsPanel(bool shows)
{
    if (shows == m_showsPanel)
        return;
    m_showsPanel = shows;
    emit showsPanelChanged(shows);
}

void UpdateService::report(const QString &name, qint64 build, const QString &message)
{
    // Nothing waits for these; a failed report is logged by Telemetry itself.
    if (Telemetry *t = telemetry())
        QCoro::connect(t->event(name, int(build), message), this, [] {});
}

QCoro::Task<void> UpdateService::check(bool silent)
{
    QPointer self = this;
    setPhase(Phase::checking());
    APIClient *api = client();
    if (!api) {
        setPhase(Phase::failed(u"无法连接服务器"_s));
        setShowsPanel(!silent);
        co_return;
    }
    const auto reply = co_await api->checkUpdate(currentBuild());
    if (!self)
        co_return;
    if (!reply) {
        setPhase(Phase::failed(reply.error().description()));
        setShowsPanel(!silent);
        co_return;
    }
    if (reply->hasUpdate) {
        if (m_forced != reply->force) {
            m_forced = reply->force;
            emit forcedChanged(m_forced);
        }
        setPhase(Phase::available(*reply));
        setShowsPanel(true);
        report(u"check"_s, reply->build);
    } else {
        setPhase(Phase::upToDate());
        setShowsPanel(!silent);
    }
}

void UpdateService::download(const UpdateInfo &info)
{
    dropTransfer();
    auto transfer = std::make_shared<Transfer>();
    m_transfer = transfer;
    QCoro::connect(performDownload(info, transfer), this, [] {});
}

void UpdateService::cancel()
{
    dropTransfer();
    setPhase(Phase::idle());
    setShowsPanel(false);
}

void UpdateService::dropTransfer()
{
    if (!m_transfer)
        return;
    const auto transfer = std::exchange(m_transfer, nullptr);
    transfer->dropped = true;
    if (transfer->reply) {
        // A half-received archive is of no use to anyone: stop the transfer and remove the file.
        transfer->reply->disconnect(this);
        transfer->reply->abort();
        transfer->file.close();
        transfer->file.remove();
    }
}

QCoro::Task<void> UpdateService::performDownload(UpdateInfo info, std::shared_ptr<Transfer> transfer)
{
    QPointer self = this;
    const QUrl url(info.url, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http"_s && scheme != u"https"_s) || url.host().isEmpty()) {
        setPhase(Phase::failed(u"下载地址不合法"_s));
        co_return;
    }
    setPhase(Phase::downloading(0));

    const QString folder = workFolder(info.build);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    // The name is ours: whatever the server calls the file, it lands here.
    transfer->file.setFileName(QDir(folder).filePath(u"update.zip"_s));
    if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        setPhase(Phase::failed(u"无法保存安装包："_s + transfer->file.errorString()));
        co_return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = manager()->get(request);
    transfer->reply = reply;
    Transfer *t = transfer.get();
    // Written and hashed as it arrives, so an archive never has to fit in memory. Progress is
    // counted here rather than taken from downloadProgress, which Qt holds back for the first
    // tenth of a second and so never reports a fast transfer until it is over.
    auto take = [this, t, reply] {
        const QByteArray chunk = reply->readAll();
        if (chunk.isEmpty() || t->writeFailed)
            return;
        t->hash.addData(chunk);
        t->received += chunk.size();
        if (t->file.write(chunk) != chunk.size()) {
            t->writeFailed = true;
            reply->abort();
            return;
        }
        // Without an announced size there is no fraction to show.
        const qint64 total = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (!t->dropped && total >= 1)
            setPhase(Phase::downloading(std::min(1.0, double(t->received) / double(total))));
    };
    connect(reply, &QNetworkReply::readyRead, this, take);

    const QPointer<QNetworkReply> guard = reply;
    co_await qCoro(reply).waitForFinished();
    // The reply dies with our manager when the service goes first.
    if (guard)
        reply->deleteLater();
    if (!self || !guard || transfer->dropped)
        co_return;
    reply->disconnect(this);
    take();
    transfer->reply = nullptr;
    m_transfer.reset();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString failure;
    if (transfer->writeFailed)
        failure = u"无法保存安装包："_s + transfer->file.errorString();
    else if (status != 0 && (status < 200 || status > 299))
        // An error page is not an archive, checksum or not.
        failure = u"下载失败（HTTP %1）"_s.arg(status);
    else if (reply->error() != QNetworkReply::NoError || status == 0)
        failure = u"下载失败："_s + reply->errorString();
    else if (!transfer->file.flush())
        failure = u"无法保存安装包："_s + transfer->file.errorString();
    transfer->file.close();
    if (!failure.isEmpty()) {
        transfer->file.remove();
        setPhase(Phase::failed(failure));
        co_return;
    }

    setPhase(Phase::verifying());
    if (!info.sha256.isEmpty()) {
        const QString digest = QString::fromLatin1(transfer->hash.result().toHex());
        if (digest.compare(info.sha256, Qt::CaseInsensitive) != 0) {
            transfer->file.remove();
            setPhase(Phase::failed(u"安装包校验失败，请稍后重试"_s));
            report(u"fail"_s, info.build, u"sha256 校验失败"_s);
            co_return;
        }
    } else {
        logLine(u"服务端未提供 sha256，跳过完整性校验"_s);
    }

    if (Telemetry *tel = telemetry())
        co_await tel->event(u"download"_s, int(info.build));
    if (!self)
        co_return;
    // There is no safe way to swap a running build under a package manager's feet, so the user
    // installs the verified archive with the system's own tools.
    setPhase(Phase::manualInstall(transfer->file.fileName()));
}

}
