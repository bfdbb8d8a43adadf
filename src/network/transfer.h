#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

namespace tovra {

// How long and how much one transfer may take before it is abandoned.
struct TransferLimits
{
    // Quiet for this long (no byte sent or received): timed out.
    std::chrono::milliseconds idle{20000};
    // From start to the last byte, however steadily the bytes come: timed out.
    std::chrono::milliseconds deadline{60000};
    // A body announced or received beyond this many bytes is abandoned unread.
    qint64 maxBodyBytes = 16LL * 1024 * 1024;
};

// What came back from one transfer, before anything is decoded.
struct Exchange
{
    QByteArray body;
    int status = 0;      // HTTP status; 0 when no HTTP response arrived
    bool failed = false; // the transfer itself failed (a 4xx or 5xx with a body has not)
    // The body outgrew TransferLimits::maxBodyBytes; failed is set too.
    bool tooLarge = false;
    // Our own timeouts are reported as TimeoutError, not as the abort they are done with.
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString platformText; // the stack's own description of the failure
    // Where the reply came from, after any redirect.
    QUrl url;
};

// The Chinese text for a body that outgrew its limit.
QString tooLargeMessage();

// One request through manager, read whole into memory within limits. verb is "GET", "POST" or
// any custom verb; body goes with every verb but GET.
QCoro::Task<Exchange> transfer(QNetworkAccessManager *manager, QNetworkRequest request, QByteArray verb,
                               QByteArray body, TransferLimits limits);

}
