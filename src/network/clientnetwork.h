#pragma once

#include <QNetworkAccessManager>

namespace tovra {

// The client's one network manager. Every request made through it is stamped with the cookie
// session it went out in, and its reply stores the cookies it sets only while that session is
// still the manager's: Qt alone stores a Set-Cookie into whatever jar is current when the
// headers arrive, so a poster, playlist or file asked for by one account and answered after
// another signed in would put the first account's cookie into the second one's jar. Deciding it
// here, for every request, keeps a new kind of request from forgetting it.
class ClientNetwork : public QNetworkAccessManager
{
    Q_OBJECT
public:
    using QNetworkAccessManager::QNetworkAccessManager;

    // A new cookie session: every cookie held is dropped, and no reply to a request sent before
    // this call stores a cookie any more.
    void forgetSession();

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *outgoingData) override;

private:
    quint64 m_session = 0;
};

}
