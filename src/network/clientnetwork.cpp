#include "network/clientnetwork.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>

namespace tovra {

void ClientNetwork::forgetSession()
{
    ++m_session;
    // QNetworkCookieJar has no public way to empty itself; a fresh jar does it, and the manager
    // deletes the old one it owned. Nothing else keeps a pointer to it: a request reads the
    // manager's jar when it is sent, and every reply stores its cookies through this class.
    setCookieJar(new QNetworkCookieJar);
}

QNetworkReply *ClientNetwork::createRequest(Operation op, const QNetworkRequest &original, QIODevice *outgoingData)
{
    // A caller that asked for no stored cookies gets none.
    if (original.attribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Automatic).toInt()
        != QNetworkRequest::Automatic)
        return QNetworkAccessManager::createRequest(op, original, outgoingData);
    QNetworkRequest request(original);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply *reply = QNetworkAccessManager::createRequest(op, request, outgoingData);
    // Connected before the caller can connect anything, so the cookies are in the jar when the
    // caller first hears of the headers, as with Qt's own storing. Qt announces a followed
    // redirect's headers too, with the address they came from: its cookies are kept as Qt keeps
    // them.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, session = m_session] {
        if (session != m_session)
            return;
        const auto cookies = reply->header(QNetworkRequest::SetCookieHeader).value<QList<QNetworkCookie>>();
        if (QNetworkCookieJar *jar = cookieJar(); jar && !cookies.isEmpty())
            jar->setCookiesFromUrl(cookies, reply->url());
    });
    return reply;
}

}
