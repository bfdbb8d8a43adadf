#include "network/transfer.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <utility>

namespace tovra {

namespace {

constexpr char kTimedOutProperty[] = "tovraTimedOut";
constexpr char kTooLargeProperty[] = "tovraTooLarge";
// How much of a reply the stack may read ahead of us.
constexpr qint64 kReadAhead = 1024 * 1024;

// Errors that come with an HTTP response whose body is still the answer: the site wraps its
// failures in the envelope whatever the status line says.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

struct Pieces
{
    QList<QByteArray> list;
    qint64 size = 0;

    void append(QByteArray piece)
    {
        size += piece.size();
        if (!piece.isEmpty())
            list.append(std::move(piece));
    }
    QByteArray join()
    {
        if (list.size() == 1)
            return std::exchange(list, {}).takeFirst();
        QByteArray whole;
        whole.reserve(size);
        for (QByteArray &piece : list)
            whole += std::exchange(piece, {});
        list.clear();
        return whole;
    }
};

void abortAs(QNetworkReply *reply, const char *why)
{
    if (reply->isFinished())
        return;
    reply->setProperty(why, true);
    reply->abort();
}

}

QString tooLargeMessage()
{
    return QStringLiteral("服务器返回的数据过大，已停止接收");
}

QCoro::Task<Exchange> transfer(QNetworkAccessManager *manager, QNetworkRequest request, QByteArray verb,
                               QByteArray body, TransferLimits limits)
{
    Exchange out;
    if (!manager) {
        out.failed = true;
        out.error = QNetworkReply::UnknownNetworkError;
        co_return out;
    }
    // Qt's own check on compressed bodies starts at 10 MiB, below the cap: from there on a body
    // that inflates well would fail as unreadable rather than as too large.
    request.setDecompressedSafetyCheckThreshold(limits.maxBodyBytes);
    QNetworkReply *reply = nullptr;
    if (verb == "GET")
        reply = manager->get(request);
    else if (verb == "POST")
        reply = manager->post(request, body);
    else
        reply = manager->sendCustomRequest(request, verb, body);
    const QPointer<QNetworkReply> alive(reply);
    // The stack's own thread reads the socket as fast as the server sends and queues what it read
    // for this thread, which counts it below: on a busy machine it ran 40 MiB ahead of the count.
    // With its buffer bounded it waits for what it queued to be taken.
    reply->setReadBufferSize(kReadAhead);

    // Qt's own transfer timeout ends a reply exactly like abort() does; the timers record that it
    // was the silence or the clock, not a cancel, so the user reads the timeout message. The idle
    // timer alone would let a server that trickles a byte now and then hold a request for ever.
    auto *idle = new QTimer(reply);
    idle->setSingleShot(true);
    idle->setInterval(limits.idle);
    QObject::connect(idle, &QTimer::timeout, reply, [reply] { abortAs(reply, kTimedOutProperty); });
    QObject::connect(reply, &QNetworkReply::readyRead, idle, qOverload<>(&QTimer::start));
    QObject::connect(reply, &QNetworkReply::uploadProgress, idle, qOverload<>(&QTimer::start));
    idle->start();
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply] { abortAs(reply, kTimedOutProperty); });
    deadline->start(limits.deadline);

    // A server that never stops sending would otherwise take all the memory there is. An
    // announced length past the cap is refused before a byte of the body is kept.
    const qint64 cap = limits.maxBodyBytes;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, cap] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap)
            abortAs(reply, kTooLargeProperty);
    });
    // The body is taken out of the reply as it comes, so the stack holds no second copy, and
    // counted on readyRead rather than downloadProgress, which the stack sends at most every
    // 150 ms. The pieces are joined once at the end: one growing array would, on its last
    // doubling, hold the cap two and three times over. Shared with the lambda because the
    // coroutine frame is not a QObject.
    auto received = std::make_shared<Pieces>();
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, cap, received] {
        if (reply->property(kTooLargeProperty).toBool())
            return;
        received->append(reply->readAll());
        if (received->size > cap) {
            *received = Pieces();
            abortAs(reply, kTooLargeProperty);
        }
    });

    co_await reply;

    if (!alive) {
        // The manager went away with the reply still open.
        out.failed = true;
        out.error = QNetworkReply::OperationCanceledError;
        co_return out;
    }
    idle->stop();
    deadline->stop();
    out.url = reply->url();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    out.status = status.isValid() ? status.toInt() : 0;
    const QNetworkReply::NetworkError error = reply->error();
    // Qt inflates a compressed body ahead of handing it out and gives up on one that would
    // inflate past its threshold (the cap, set on the request) with a content error and no body.
    // The same error stands for a 4xx status Qt has no name for, whose body is still the
    // server's answer to read.
    const bool inflatedPastCap = error == QNetworkReply::UnknownContentError && out.status < 400
                                 && !reply->rawHeader(QByteArrayLiteral("Content-Encoding")).isEmpty();
    if (reply->property(kTooLargeProperty).toBool() || inflatedPastCap) {
        out.failed = true;
        out.tooLarge = true;
        out.error = QNetworkReply::OperationCanceledError;
        out.platformText = tooLargeMessage();
    } else if (reply->property(kTimedOutProperty).toBool()) {
        out.failed = true;
        out.error = QNetworkReply::TimeoutError;
        out.platformText = QCoreApplication::translate("QAbstractSocket", "Socket operation timed out");
    } else {
        // An aborted reply is closed; reading it would only warn.
        if (reply->isOpen())
            received->append(reply->readAll());
        out.body = received->join();
        if (error != QNetworkReply::NoError && !(out.status > 0 && isHttpStatusError(error))) {
            out.failed = true;
            out.error = error;
            out.platformText = reply->errorString();
        }
    }
    reply->deleteLater();
    co_return out;
}

}
