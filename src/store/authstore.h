#pragma once

#include "models/account.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

namespace tovra {

class APIClient;
class AuthStore;

// Names the sign-in a request was made under. Taken before the request goes out; its reply may
// be written into account state or onto a screen only while the ticket is current: once the token
// has been replaced or removed, the reply belongs to an account that is no longer signed in.
class AccountTicket
{
public:
    bool isCurrent() const;

private:
    friend class AuthStore;
    QPointer<AuthStore> m_store;
    quint64 m_generation = 0;
};

// Who is signed in: the bearer token (kept in a file so a sign-in survives a restart) and the
// profile the screens show. Lives on the main thread.
class AuthStore : public QObject
{
    Q_OBJECT

public:
    // folder: where the token file lives, created if missing; none keeps the token in memory only
    // for this run.
    AuthStore(APIClient *client, std::optional<QString> folder, QObject *parent = nullptr);
    ~AuthStore() override;

    // The process-wide store: the one installed with setShared(), or else one made on first use
    // over the shared client and the application data folder.
    static AuthStore *shared();
    static void setShared(AuthStore *store);

    std::optional<User> user() const { return m_user; }
    std::optional<QString> tokenValue() const { return m_token; }
    bool isSignedIn() const { return m_token.has_value(); }
    AccountTicket ticket();

    // Reloads the profile. A 401 signs out; any other failure keeps what there is and is logged.
    QCoro::Task<void> refresh();
    // Takes the token exactly as given and stores it for the next start.
    void save(const QString &token);
    // Forgets token and profile, deletes the file and empties the caches in the background.
    void logout();

    // The token file, or empty when the store keeps the token in memory only.
    QString tokenFile() const { return m_file; }

signals:
    void tokenChanged();
    void userChanged();
    // Whose data the screens show has changed: signed in, signed out (a 401 included), or a
    // profile of another uid arrived in place of the one held. Not emitted for a refresh of the
    // same account. Comes after the token and the profile of the new state are in place, so a
    // screen reloading then asks with the new token.
    void accountChanged();

private:
    void setToken(std::optional<QString> token);
    void setUser(std::optional<User> user);

    QPointer<APIClient> m_client;
    QString m_file;
    std::optional<QString> m_token;
    std::optional<User> m_user;
    // The uid of the last profile loaded since signing in, kept while a new token waits for its
    // own profile: another account's token is only known as such once its profile comes.
    std::optional<QString> m_accountUid;
    // Bumped whenever the token is set or removed: what an AccountTicket holds. A refresh applies
    // its answer only while the generation it started under is still current, so a slow profile
    // reply can neither bring a user back after a log-out nor sign out a token that replaced the
    // one it asked about.
    quint64 m_generation = 0;

    friend class AccountTicket;
};

}
