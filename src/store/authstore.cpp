#include "store/authstore.h"

#include "network/apiclient.h"
#include "store/log.h"
#include "network/paths.h"
#include "store/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

namespace tovra {

namespace {
const QString kTokenFileName = QStringLiteral("token");

AuthStore *&installed()
{
    static AuthStore *store = nullptr;
    return store;
}
}

AuthStore::AuthStore(APIClient *client, std::optional<QString> folder, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
    if (!folder) {
        logLine(QStringLiteral("找不到应用数据目录，登录状态只保存在本次运行中"));
        return;
    }
    makePrivateFolder(*folder);
    m_file = QDir(*folder).filePath(kTokenFileName);

    if (const auto text = readUtf8File(m_file)) {
        const QString token = text->trimmed();
        if (!token.isEmpty())
            m_token = token;
    }
}

AuthStore::~AuthStore()
{
    if (installed() == this)
        installed() = nullptr;
}

AuthStore *AuthStore::shared()
{
    if (!installed())
        installed() = new AuthStore(APIClient::shared(), appDataDir(), qApp);
    return installed();
}

void AuthStore::setShared(AuthStore *store)
{
    installed() = store;
}

bool AccountTicket::isCurrent() const
{
    return m_store && m_store->m_generation == m_generation;
}

AccountTicket AuthStore::ticket()
{
    AccountTicket ticket;
    ticket.m_store = this;
    ticket.m_generation = m_generation;
    return ticket;
}

void AuthStore::setToken(std::optional<QString> token)
{
    ++m_generation;
    if (m_token == token)
        return;
    m_token = std::move(token);
    // Before anything hears of the change: screens reload on accountChanged, and their first
    // requests must already go out without the previous account's cookies (a captcha session
    // would tie the two accounts together on the site).
    if (m_client)
        m_client->forgetSession();
    emit tokenChanged();
}

void AuthStore::setUser(std::optional<User> user)
{
    if (!m_user && !user)
        return;
    const bool otherAccount = user && m_accountUid && *m_accountUid != user->uid;
    if (user)
        m_accountUid = user->uid;
    m_user = std::move(user);
    emit userChanged();
    if (otherAccount)
        emit accountChanged();
}

void AuthStore::save(const QString &token)
{
    const bool signingIn = !m_token;
    setToken(token);
    if (signingIn)
        emit accountChanged();
    if (m_file.isEmpty())
        return;
    // Readable by the owner only, from the first byte on.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (const auto error = writeFileAtomically(m_file, token.toUtf8(), ownerOnly))
        logLine(QStringLiteral("token 保存失败"), *error);
}

void AuthStore::logout()
{
    const bool signingOut = m_token || m_user;
    setToken(std::nullopt);
    setUser(std::nullopt);
    m_accountUid.reset();
    if (!m_file.isEmpty())
        QFile::remove(m_file);
    if (signingOut)
        emit accountChanged();
    // Emptying the caches can mean deleting many files; it runs after the sign-out has been
    // published, and nothing waits for it.
    if (m_client) {
        APIClient *client = m_client.data();
        QTimer::singleShot(0, client, [client] { client->clearCaches(); });
    }
}

QCoro::Task<void> AuthStore::refresh()
{
    if (!m_token) {
        setUser(std::nullopt);
        co_return;
    }
    if (!m_client)
        co_return;
    QPointer self = this;
    const AccountTicket asked = ticket();
    const auto result = co_await m_client->me();
    if (!self)
        co_return;
    const bool current = asked.isCurrent();
    if (result) {
        if (current)
            setUser(*result);
        co_return;
    }
    if (result.error().isServer(401)) {
        if (current)
            logout();
        co_return;
    }
    logLine(QStringLiteral("拉取用户信息失败"), result.error().description());
}

}
