#pragma once

#include "catalogue.h"

#include <QDateTime>
#include <QHash>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QSet>
#include <memory>
#include <optional>

namespace tovra::samplesite {

class MediaSite;

// The sample site's routing: one member function per endpoint, each turning a request into a
// reply. Every JSON API reply is the site's envelope {"code","message","data","meta"}, sent with
// HTTP status 200 whatever the code, as the live site does.
//
// To add an endpoint: write a member function taking the request and returning a response, and
// register it in registerRoutes() with get() or post().
class SampleServer
{
public:
    SampleServer();
    ~SampleServer();

    // Listens on 127.0.0.1 (port 0: any free port), then builds the catalogue for the address
    // it got, since poster addresses carry the port. Answers the port, or 0 on failure.
    quint16 listen(quint16 port);

private:
    using Endpoint = QHttpServerResponse (SampleServer::*)(const QHttpServerRequest &);

    struct Account
    {
        QString uid;
        QString nickname;
        qint64 gold = 860; // enough for the monthly and half-year plans, not the yearly one
        QDate signedOn;
        int days = 3;
        QDateTime lastSign;
        qint64 vipExpired = 0;      // Unix seconds; 0 until an exchange: 30 days after the catalogue's day
        QJsonArray goldLog;         // newest first, seeded on first look (accountroutes.cpp)
        QByteArray photo;           // the last uploaded avatar, JPEG as sent
        int photoVersion = 0;       // bumps with each upload, so the address changes
        QSet<int> readNotices;      // notice sids this account has seen
        QSet<int> readBoard;        // board message ids this account has seen
    };

    void registerRoutes();
    void get(const QString &path, Endpoint endpoint);
    void post(const QString &path, Endpoint endpoint);

    static QHttpServerResponse ok(const QJsonValue &data = QJsonValue::Undefined, const QJsonObject &meta = {});
    static QHttpServerResponse fail(int code, const QString &message);
    static QString formValue(const QHttpServerRequest &request, const QString &key);
    static int pageOf(const QHttpServerRequest &request);
    // The signed-in account of the request's bearer token, if any.
    Account *accountFor(const QHttpServerRequest &request);
    QJsonObject userJson(const Account &account) const;
    // The token an account name signs in with; the same across restarts of the site.
    static QString tokenFor(const QString &account);
    // The captcha session of the request's cookie, if it has one the site handed out.
    struct Verification
    {
        QString captcha;       // the picture's text
        QString checkedEmail;  // set once the picture code was accepted for this address
        QString checkedAction;
    };
    Verification *verificationFor(const QHttpServerRequest &request);
    // An e-mail code that matches the last one sent to the address; it is used up.
    bool takeEmailCode(const QString &email, const QString &code);

    // Catalogue
    QHttpServerResponse apiNav(const QHttpServerRequest &request);
    QHttpServerResponse apiIndex(const QHttpServerRequest &request);
    QHttpServerResponse apiRanking(const QHttpServerRequest &request);
    QHttpServerResponse apiTop250(const QHttpServerRequest &request);
    QHttpServerResponse apiFilterOptions(const QHttpServerRequest &request);
    QHttpServerResponse apiTags(const QHttpServerRequest &request);
    QHttpServerResponse apiFilter(const QHttpServerRequest &request);
    QHttpServerResponse apiSearch(const QHttpServerRequest &request);
    QHttpServerResponse searchService(const QHttpServerRequest &request);
    // Titles and torrents
    QHttpServerResponse apiItem(const QHttpServerRequest &request);
    QHttpServerResponse apiDown(const QHttpServerRequest &request);
    QHttpServerResponse apiRes(const QHttpServerRequest &request);
    // Account
    QHttpServerResponse apiLogin(const QHttpServerRequest &request);
    QHttpServerResponse apiMe(const QHttpServerRequest &request);
    QHttpServerResponse apiSignStatus(const QHttpServerRequest &request);
    QHttpServerResponse apiSign(const QHttpServerRequest &request);
    QHttpServerResponse apiUnread(const QHttpServerRequest &request);
    QHttpServerResponse apiWebCookie(const QHttpServerRequest &request);
    // User centre (accountroutes.cpp)
    void registerAccountRoutes();
    void seedAccount(Account &account) const;
    void addGoldEntry(Account &account, int type, qint64 amount, const QString &explain) const;
    QHttpServerResponse apiGoldLog(const QHttpServerRequest &request);
    QHttpServerResponse apiWatching(const QHttpServerRequest &request);
    QHttpServerResponse apiVipExchange(const QHttpServerRequest &request);
    QHttpServerResponse apiNickname(const QHttpServerRequest &request);
    QHttpServerResponse apiPhotoUpload(const QHttpServerRequest &request);
    QHttpServerResponse apiMessages(const QHttpServerRequest &request);
    QHttpServerResponse uploadedPhoto(const QString &name);
    QHttpServerResponse qrImage(const QString &caption);
    static QString photoName(const Account &account);
    qint64 vipExpiredOf(const Account &account) const;
    // Registration and password reset: picture captcha, e-mail code, then the account call
    QHttpServerResponse apiCaptcha(const QHttpServerRequest &request);
    QHttpServerResponse apiCheckCaptcha(const QHttpServerRequest &request);
    QHttpServerResponse apiSendEmailCode(const QHttpServerRequest &request);
    QHttpServerResponse apiRegister(const QHttpServerRequest &request);
    QHttpServerResponse apiResetPwd(const QHttpServerRequest &request);
    // Community board
    QHttpServerResponse apiBbsList(const QHttpServerRequest &request);
    QHttpServerResponse apiBbsLike(const QHttpServerRequest &request);
    // Client housekeeping
    QHttpServerResponse apiClientReport(const QHttpServerRequest &request);
    QHttpServerResponse apiUpdate(const QHttpServerRequest &request);
    QHttpServerResponse updateArchive(const QHttpServerRequest &request);
    // Pictures and pages
    QHttpServerResponse poster(int number);
    QHttpServerResponse avatar(int number);
    QHttpServerResponse torrentFile(const QString &name);
    QHttpServerResponse webPage(const QString &name);

    QHttpServer m_server;
    QString m_base;
    std::unique_ptr<Catalogue> m_catalogue;
    QHash<QString, Account> m_accounts; // by token
    QHash<QString, Verification> m_verifications; // by captcha session cookie
    QHash<QString, QString> m_emailCodes;          // by address
    QHash<QString, QString> m_passwords;           // by account name, once registered or reset
    QHash<int, QByteArray> m_posters;
    QHash<QString, bool> m_likedPosts; // community posts liked on this run, by did
    std::unique_ptr<MediaSite> m_media;
};

}
