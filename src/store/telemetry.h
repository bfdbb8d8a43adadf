#pragma once

#include <QCoro/QCoroTask>
#include <QDate>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

namespace tovra {

class APIClient;
class AuthStore;

// Anonymous usage reports to "api/client_report": a heartbeat at most once per calendar day and
// the self-updater's named events. Best effort: a failure is logged and otherwise forgotten.
//
// The device identifier and the day of the last successful heartbeat live in two small files
// ("device", "last_report"). Without a folder, or when a file cannot be written, the values are
// kept in memory for the rest of the run, so one run never reports as several devices.
class Telemetry : public QObject
{
    Q_OBJECT

public:
    using Form = QMap<QString, QString>;

    // folder: where the two files live, created if missing; none keeps them in memory only.
    // The day is read from Clock.
    Telemetry(APIClient *client, AuthStore *auth, std::optional<QString> folder, QObject *parent = nullptr);
    ~Telemetry() override;

    static Telemetry *shared();
    static void setShared(Telemetry *telemetry);

    // Sends the day's report unless one already went through today.
    QCoro::Task<void> heartbeat();
    // The updater's events: "check", "download", "fail" (with a message), "install" (build 0).
    // An empty message sends no "message" field.
    QCoro::Task<void> event(QString name, int toBuild, QString message = {});

    // The identifier sent as "device": the stored one if valid (kept in its own case), else a new
    // lower-case one, stored for next time.
    QString device();
    // The seven fields every report carries.
    Form base();

    static bool isValidIdentifier(const QString &text);
    static QString dayText(const QDate &day);

private:
    QCoro::Task<bool> post(Form form);
    std::optional<QString> readFile(const QString &name) const;
    bool writeFile(const QString &name, const QString &text) const;

    QPointer<APIClient> m_client;
    QPointer<AuthStore> m_auth;
    QString m_dir;
    std::optional<QString> m_device;
    std::optional<QString> m_lastReport;
};

}
