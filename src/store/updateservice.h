#pragma once

#include "models/community.h"
#include "store/updatearchive.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <expected>
#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace tovra {

class APIClient;
class Telemetry;

// The self-updater: asks the site for a newer build, downloads it into a private work folder,
// verifies and unpacks it, and hands the new client folder to an install script that replaces the
// installed one once this process has quit, then starts the new build.
//
// Only a client folder of ours whose parent folder takes new entries is replaced; anything else
// (a build tree, a distribution's package) ends in manualInstall with the unpacked folder.
//
// Lives on the main thread; only the service writes the phase, the update sheet only shows it.
class UpdateService : public QObject
{
    Q_OBJECT
public:
    struct Phase
    {
        enum class Kind { Idle, Checking, Available, Downloading, Verifying, ReadyToInstall, ManualInstall, Failed, UpToDate };

        Kind kind = Kind::Idle;
        UpdateInfo info;   // Available
        double progress = 0; // Downloading, 0..1
        QString file;      // ReadyToInstall, ManualInstall: the unpacked client folder
        QString message;   // Failed; ManualInstall: why the script may not replace the client

        static Phase idle() { return {}; }
        static Phase checking() { return of(Kind::Checking); }
        static Phase verifying() { return of(Kind::Verifying); }
        static Phase upToDate() { return of(Kind::UpToDate); }
        static Phase available(UpdateInfo info);
        static Phase downloading(double progress);
        static Phase readyToInstall(QString file);
        static Phase manualInstall(QString file, QString reason = {});
        static Phase failed(QString message);

        // Offers compare by build alone: a re-check that brings the same build with new notes is
        // the same offer.
        bool operator==(const Phase &other) const;

    private:
        static Phase of(Kind kind)
        {
            Phase phase;
            phase.kind = kind;
            return phase;
        }
    };

    // The client and telemetry default to the shared ones, looked up when needed.
    explicit UpdateService(QObject *parent = nullptr);
    ~UpdateService() override;

    static UpdateService *shared();

    static qint64 currentBuild();
    static QString currentVersion();

    void setClient(APIClient *client);
    void setTelemetry(Telemetry *telemetry);
    // The installed client folder to replace; the running one unless set.
    void setUnit(const QString &unit) { m_unit = unit; m_unitSet = true; }
    QString unit() const;
    // The process the install script waits for before it touches anything; this one unless set.
    void setAwaitedProcess(qint64 pid) { m_awaitedPid = pid; }
    // How many tenths of a second the script waits for that process; a minute unless set.
    void setAwaitRounds(int rounds) { m_awaitRounds = rounds; }
    // What ends the process once the script runs; QCoreApplication::quit() unless set.
    void setQuitHandler(std::function<void()> quit) { m_quit = std::move(quit); }
    void setArchiveLimits(UpdateArchive::Limits limits) { m_limits = limits; }

    // ~/.cache/TovraClient-update: made 0700 when missing, refused when it is a link, not a
    // folder or not the user's own. Every file of an update lives in it.
    static std::expected<QString, QString> workRoot();
    QString workFolder(qint64 build) const;
    // The script and its log of an install started by process `pid`.
    static QString scriptPath(const QString &root, qint64 pid);
    static QString logPath(const QString &root, qint64 pid);

    // Asks the server for a newer build; never fails towards the caller. A silent check opens the
    // panel only when there is something to install.
    QCoro::Task<void> check(bool silent);
    // Starts downloading the offer (dropping any download under way) and returns at once.
    void download(const UpdateInfo &info);
    // Drops a running download, goes back to idle and closes the panel. forced stays.
    void cancel();
    // Writes and starts the install script for the unpacked client folder, then quits.
    void install(const QString &newUnit);
    bool isDownloading() const { return bool(m_transfer); }

    const Phase &phase() const { return m_phase; }
    bool forced() const { return m_forced; }

    // While true the main window shows the update panel; closing the panel sets it back to false.
    bool showsPanel() const { return m_showsPanel; }
    void setShowsPanel(bool shows);

signals:
    void showsPanelChanged(bool shows);
    void phaseChanged();
    void forcedChanged(bool forced);

private:
    struct Transfer;

    QCoro::Task<void> performDownload(UpdateInfo info, std::shared_ptr<Transfer> transfer);
    void fail(const std::shared_ptr<Transfer> &transfer, const QString &message);
    void quitApp();
    void dropTransfer();
    void setPhase(Phase phase);
    void report(const QString &name, qint64 build, const QString &message = {});
    APIClient *client() const;
    Telemetry *telemetry() const;
    QNetworkAccessManager *manager();

    Phase m_phase;
    bool m_forced = false;
    bool m_showsPanel = false;
    QPointer<APIClient> m_client;
    QPointer<Telemetry> m_telemetry;
    QString m_unit;
    bool m_unitSet = false;
    qint64 m_awaitedPid = 0;
    int m_awaitRounds = 600;
    std::function<void()> m_quit;
    UpdateArchive::Limits m_limits;
    QNetworkAccessManager *m_manager = nullptr;
    std::shared_ptr<Transfer> m_transfer;
};

}
