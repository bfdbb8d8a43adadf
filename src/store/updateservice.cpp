#include "store/updateservice.h"

#include "buildconfig.h"
#include "network/apiclient.h"
#include "store/installlocation.h"
#include "store/installscript.h"
#include "store/log.h"
#include "network/paths.h"
#include "store/telemetry.h"
#include "store/updatearchive.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    QString folder; // the build's work folder, removed when the transfer is dropped or fails
    bool writeFailed = false;
    bool tooLarge = false;
    bool badRedirect = false;
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

UpdateService::Phase UpdateService::Phase::manualInstall(QString file, QString reason)
{
    Phase phase = of(Kind::ManualInstall);
    phase.file = std::move(file);
    phase.message = std::move(reason);
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

std::expected<QString, QString> UpdateService::workRoot()
{
    const auto folder = updateDir();
    if (!folder)
        return std::unexpected(u"无法准备更新目录：找不到缓存文件夹"_s);
    const QString root = *folder;
    QDir().mkpath(QFileInfo(root).absolutePath());
    const QByteArray path = QFile::encodeName(root);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return std::unexpected(u"无法准备更新目录："_s + root);
    // Whatever sits at that name must be our own private folder: a link or someone else's
    // folder would let another account steer where the archive and the script go.
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return std::unexpected(u"无法准备更新目录："_s + root);
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return std::unexpected(u"无法准备更新目录："_s + root);
    return root;
}

QString UpdateService::workFolder(qint64 build) const
{
    return QDir(updateDir().value_or(QString())).filePath(u"TovraUpdate-"_s + QString::number(build));
}

QString UpdateService::scriptPath(const QString &root, qint64 pid)
{
    return QDir(root).filePath(u"tovra-install-%1.sh"_s.arg(pid));
}

QString UpdateService::logPath(const QString &root, qint64 pid)
{
    return QDir(root).filePath(u"tovra-install-%1.log"_s.arg(pid));
}

QString UpdateService::unit() const
{
    return m_unitSet ? m_unit : InstallLocation::runningUnit();
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
    // The start-up check must not knock a download the user started out of the sheet.
    if (silent && m_transfer)
        co_return;
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
        transfer->reply->disconnect(this);
        transfer->reply->abort();
    }
    // Nothing of a dropped download stays behind: not the half-received archive, not an
    // unpacked folder.
    transfer->file.close();
    if (!transfer->folder.isEmpty())
        QDir(transfer->folder).removeRecursively();
}

void UpdateService::fail(const std::shared_ptr<Transfer> &transfer, const QString &message)
{
    transfer->file.close();
    // An empty name would be read as the working folder.
    if (!transfer->folder.isEmpty())
        QDir(transfer->folder).removeRecursively();
    if (m_transfer == transfer)
        m_transfer.reset();
    setPhase(Phase::failed(message));
}

namespace {

bool usableArchiveUrl(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https"_s)
        return true;
    // Plain http only where nobody else can be on the path: this machine.
    const QHostAddress address(url.host());
    return scheme == u"http"_s && (address.isLoopback() || url.host().compare(u"localhost"_s, Qt::CaseInsensitive) == 0);
}

bool isHexDigest(const QString &text)
{
    static const QRegularExpression pattern(u"^[0-9A-Fa-f]{64}$"_s);
    return pattern.match(text).hasMatch();
}

// Runs bash on the script in `folder`, as a grandchild that nobody has to reap, in a process group
// of its own: it outlives us and whatever ends our process group. Not in a session of its own, as
// QProcess::startDetached would put it: the kernel gives each new session a scheduling group of its
// own, and on a busy machine such a newcomer was seen to wait more than 10 s before its first
// command ran, while the user waits for the new build to open. Between fork and exec only
// async-signal-safe calls: the client has many threads.
bool startDetachedScript(const QString &script, const QString &folder)
{
    const QByteArray path = QFile::encodeName(script);
    const QByteArray dir = QFile::encodeName(folder);
    char bash[] = "/bin/bash";
    char *const argv[] = {bash, const_cast<char *>(path.constData()), nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(report[0]);
        const pid_t runner = ::fork();
        if (runner == 0) {
            ::setpgid(0, 0);
            ::signal(SIGPIPE, SIG_DFL); // Qt ignores it; the tools the script runs expect it
            const int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0 && ::dup2(null, STDIN_FILENO) >= 0 && ::chdir(dir.constData()) == 0)
                ::execv(bash, argv);
        }
        // Reached on a failure only: the exec closes the pipe without a word.
        if (runner != 0)
            ::_exit(runner > 0 ? 0 : 1);
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    if (middle < 0) {
        ::close(report[0]);
        return false;
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

}

QCoro::Task<void> UpdateService::performDownload(UpdateInfo info, std::shared_ptr<Transfer> transfer)
{
    QPointer self = this;
    const QUrl url(info.url, QUrl::StrictMode);
    if (!usableArchiveUrl(url)) {
        fail(transfer, u"下载地址不合法"_s);
        co_return;
    }
    setPhase(Phase::downloading(0));

    const auto root = workRoot();
    if (!root) {
        fail(transfer, root.error());
        co_return;
    }
    transfer->folder = workFolder(info.build);
    QDir(transfer->folder).removeRecursively();
    if (!QDir().mkdir(transfer->folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        fail(transfer, u"无法准备更新目录："_s + transfer->folder);
        co_return;
    }
    // The name is ours: whatever the server calls the file, it lands here.
    transfer->file.setFileName(QDir(transfer->folder).filePath(u"update.zip"_s));
    if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        fail(transfer, u"无法保存安装包："_s + transfer->file.fileName());
        co_return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply *reply = manager()->get(request);
    transfer->reply = reply;
    // A redirect must lead to an address we would have accepted in the offer itself.
    connect(reply, &QNetworkReply::redirected, this, [t = transfer.get(), reply](const QUrl &to) {
        if (usableArchiveUrl(reply->url().resolved(to))) {
            emit reply->redirectAllowed();
        } else {
            t->badRedirect = true;
            reply->abort();
        }
    });
    Transfer *t = transfer.get();
    // Written and hashed as it arrives, so an archive never has to fit in memory. Progress is
    // counted here rather than taken from downloadProgress, which Qt holds back for the first
    // tenth of a second and so never reports a fast transfer until it is over.
    const qint64 cap = m_limits.archive;
    auto take = [this, t, reply, cap] {
        const QByteArray chunk = reply->readAll();
        if (chunk.isEmpty() || t->writeFailed || t->tooLarge)
            return;
        t->hash.addData(chunk);
        t->received += chunk.size();
        // A server that never stops sending must not fill the disk.
        if (t->received > cap) {
            t->tooLarge = true;
            reply->abort();
            return;
        }
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

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString failure;
    if (transfer->badRedirect || (status >= 300 && status <= 399))
        // A redirect still standing is one that was not followed: to a scheme we do not fetch.
        failure = u"下载地址不合法"_s;
    else if (transfer->tooLarge)
        failure = u"下载失败：安装包超出大小上限"_s;
    else if (transfer->writeFailed)
        failure = u"无法保存安装包："_s + transfer->file.fileName();
    else if (status != 0 && (status < 200 || status > 299))
        // An error page is not an archive, checksum or not.
        failure = u"下载失败（HTTP %1）"_s.arg(status);
    else if (reply->error() != QNetworkReply::NoError || status == 0)
        failure = APIClient::networkMessage(reply->error());
    else if (!transfer->file.flush())
        failure = u"无法保存安装包："_s + transfer->file.fileName();
    transfer->file.close();
    if (!failure.isEmpty()) {
        fail(transfer, failure);
        co_return;
    }

    setPhase(Phase::verifying());
    // No digest, or one that is not a digest, proves nothing: such a package is not installed.
    const QString digest = QString::fromLatin1(transfer->hash.result().toHex());
    if (!isHexDigest(info.sha256) || digest.compare(info.sha256, Qt::CaseInsensitive) != 0) {
        fail(transfer, u"安装包校验失败，请稍后重试"_s);
        report(u"fail"_s, info.build, u"sha256 校验失败"_s);
        co_return;
    }

    const auto app = UpdateArchive::extract(transfer->file.fileName(), QDir(transfer->folder).filePath(u"unpacked"_s),
                                            m_limits);
    if (!app) {
        fail(transfer, UpdateArchive::failureText(app.error()));
        if (app.error() == UpdateArchive::Failure::NoApp)
            report(u"fail"_s, info.build, u"包内没有 .app"_s);
        co_return;
    }

    if (Telemetry *tel = telemetry())
        co_await tel->event(u"download"_s, int(info.build));
    if (!self || transfer->dropped)
        co_return;
    m_transfer.reset();
    setPhase(InstallLocation::isSelfUpdatable(unit())
                 ? Phase::readyToInstall(*app)
                 : Phase::manualInstall(*app, InstallLocation::manualInstallReason(unit())));
}

void UpdateService::install(const QString &newUnit)
{
    report(u"install"_s, 0);
    const QString target = unit();
    if (!InstallLocation::isSelfUpdatable(target)) {
        setPhase(Phase::failed(u"安装失败：当前程序不在可自动替换的位置，请手动安装"_s));
        return;
    }
    const auto root = workRoot();
    if (!root) {
        setPhase(Phase::failed(u"安装失败："_s + root.error()));
        return;
    }
    const qint64 pid = m_awaitedPid > 0 ? m_awaitedPid : QCoreApplication::applicationPid();
    InstallScript script{logPath(*root, pid), newUnit, target, scriptPath(*root, pid), pid, m_awaitRounds};

    // A log left by an earlier process of the same id is removed; the new one must be a file
    // we created just now, never something that was waiting at that name.
    const QByteArray logName = QFile::encodeName(script.log);
    ::unlink(logName.constData());
    const int logFd = ::open(logName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (logFd < 0) {
        setPhase(Phase::failed(u"安装失败：无法创建安装日志 "_s + script.log));
        return;
    }
    ::close(logFd);

    QSaveFile file(script.script);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.text().toUtf8()) < 0 || !file.commit()) {
        setPhase(Phase::failed(u"安装失败：无法写入安装脚本 "_s + script.script));
        return;
    }
    if (!QFile::setPermissions(script.script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                   | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)) {
        setPhase(Phase::failed(u"安装失败：无法设置安装脚本的权限"_s));
        return;
    }
    if (!startDetachedScript(script.script, *root)) {
        setPhase(Phase::failed(u"安装失败：无法启动安装脚本"_s));
        return;
    }
    quitApp();
}

void UpdateService::quitApp()
{
    setShowsPanel(false);
    setPhase(Phase::idle());
    if (m_quit) {
        m_quit();
        return;
    }
    QTimer::singleShot(0, qApp, [] {
        QCoreApplication::quit();
        // Only reached when the event loop outlived the request, for instance inside a modal
        // loop that swallowed it.
        QTimer::singleShot(1500, qApp, [] {
            logLine(u"terminate 未生效，强制退出"_s);
            // No destructors: whatever held the loop up could hold them up as well.
            ::_exit(0);
        });
    });
}

}
