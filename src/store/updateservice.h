#pragma once

#include "models/community.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QNetworkAccessManager;

namespace tovra {

class APIClient;
class Telemetry;

// The self-updater: asks the site for a newer build, downloads it into the temporary folder and
// verifies it. Replacing the installed copy is left to the system's package tools, so a verified
// download ends in manualInstall with the saved archive.
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
        QString file;      // ReadyToInstall, ManualInstall: the verified archive
        QString message;   // Failed

        static Phase idle() { return {}; }
        static Phase checking() { return of(Kind::Checking); }
        static Phase verifying() { return of(Kind::Verifying); }
        static Phase upToDate() { return of(Kind::UpToDate); }
        static Phase available(UpdateInfo info);
        static Phase downloading(double progress);
        static Phase readyToInstall(QString file);
        static Phase manualInstall(QString file);
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
    // Where work folders go; the system temporary folder unless set.
    void setTemporaryFolder(const QString &folder) { m_tempDir = folder; }
    QString workFolder(qint64 build) const;

    // Asks the server for a newer build; never fails towards the caller. A silent check opens the
    // panel only when there is something to install.
    QCoro::Task<void> check(bool silent);
    // Starts downloading the offer (dropping any download under way) and returns at once.
    void download(const UpdateInfo &info);
    // Drops a running download, goes back to idle and closes the panel. forced stays.
    void cancel();

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
    QString m_tempDir;
    QNetworkAccessManager *m_manager = nullptr;
    std::shared_ptr<Transfer> m_transfer;
};

}
