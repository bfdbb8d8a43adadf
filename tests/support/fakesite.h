#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace tovra::test {

// A loopback HTTP/1.1 server for end-to-end tests of the client. It is hand-written on
// QTcpServer rather than QHttpServer so a test decides byte by byte what the client sees:
// replies that never come, bodies cut off half way, malformed status lines, exact headers.
//
// Connections are kept alive (QNetworkAccessManager reuses them), requests on one connection
// are answered strictly in order, and a delayed or stalled reply holds back the requests queued
// behind it on the same connection, as a real server would.
class FakeSite : public QObject
{
    Q_OBJECT
public:
    using Header = QPair<QByteArray, QByteArray>;

    struct Request
    {
        QByteArray method;
        QString path;          // percent-decoded path, always starting with "/"
        QByteArray rawQuery;   // what followed "?", exactly as received
        QByteArray target;     // the request-target of the request line, exactly as received
        QList<Header> headers; // in order, names as received
        QByteArray body;
        QByteArray raw;        // the whole request as it came over the wire
        int connection = 0;    // which accepted connection carried it, counting from 1

        // Case-insensitive; the first header of that name, or a null array.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
        QUrlQuery query() const;
        // The body read as application/x-www-form-urlencoded.
        QUrlQuery form() const;
    };

    struct Reply
    {
        int status = 200;
        QList<Header> headers;
        QByteArray body;
        int delayMs = 0;
        qint64 throttleBytesPerSecond = 0;
        bool stall = false;        // never answers; the connection stays open
        // Status line, headers (announcing the full length) and half the body, then close. Give it
        // a body of two bytes or more, or there is no half to cut.
        bool closeMidBody = false;
        bool stallMidBody = false; // as closeMidBody, but the connection then stays silent and open
        // As closeMidBody, but the connection is reset (a TCP RST) once the half is written, as a
        // server that crashed or a middlebox that gave up does, rather than closed in order.
        bool resetMidBody = false;
        QByteArray raw;            // when set, written verbatim instead of a composed reply
        // When set: status line and headers without a length, then this chunk again and again
        // (every streamIntervalMs, or as fast as the client reads at 0) until streamLimit bytes of
        // body went out or the client hung up; then the connection closes.
        QByteArray streamChunk;
        int streamIntervalMs = 0;
        qint64 streamLimit = 0;
        bool closeAfter = false;   // close the connection once the reply is written

        // Chainable setters: GCC 12 warns on designated initialisers that leave fields out, so
        // write FakeSite::Reply().withStatus(503).withBody("x") rather than Reply{.status = ...}.
        Reply &withStatus(int code) { status = code; return *this; }
        Reply &withBody(const QByteArray &bytes) { body = bytes; return *this; }
        Reply &withHeader(const QByteArray &name, const QByteArray &value)
        {
            headers.append(Header(name, value));
            return *this;
        }
        Reply &withDelay(int ms) { delayMs = ms; return *this; }
        Reply &stalling() { stall = true; return *this; }
        Reply &closingMidBody() { closeMidBody = true; return *this; }
        Reply &stallingMidBody() { stallMidBody = true; return *this; }
        Reply &resettingMidBody() { resetMidBody = true; return *this; }
        Reply &closingAfter() { closeAfter = true; return *this; }
        Reply &withRaw(const QByteArray &bytes) { raw = bytes; return *this; }
        // The body itself, at most this many bytes a second, as from a slow line.
        Reply &throttled(qint64 bytesPerSecond) { throttleBytesPerSecond = bytesPerSecond; return *this; }
        Reply &streaming(const QByteArray &chunk, int intervalMs, qint64 limit)
        {
            streamChunk = chunk;
            streamIntervalMs = intervalMs;
            streamLimit = limit;
            return *this;
        }
    };

    using Handler = std::function<Reply(const Request &)>;

    explicit FakeSite(QObject *parent = nullptr);
    ~FakeSite() override;

    bool start();
    quint16 port() const;
    // "http://127.0.0.1:<port>/<path>"; a path may carry a query ("api/list?page=2").
    QUrl url(const QString &path = {}) const;

    // Paths match exactly (a missing leading "/" is added). A route with a method wins over one
    // without; queued replies win over both; anything unmatched gets 404 with an empty body.
    void route(const QString &path, Reply reply);
    void route(const QByteArray &method, const QString &path, Reply reply);
    void route(const QString &path, Handler handler);
    void route(const QByteArray &method, const QString &path, Handler handler);
    // Successive requests to the path take successive queued replies; once the queue is empty the
    // path falls back to its route (or 404).
    void enqueue(const QString &path, Reply reply);
    void enqueue(const QByteArray &method, const QString &path, Reply reply);
    void clearRoutes();

    static Reply text(const QByteArray &body, int status = 200); // no Content-Type
    static Reply json(const QByteArray &body, int status = 200);
    // {"code":<code>,"message":<message>,"data":<dataJson>[,"meta":<metaJson>]}. dataJson and
    // metaJson go in verbatim (so a test can send malformed data); a null dataJson leaves "data" out.
    static QByteArray envelope(int code, const QString &message, const QByteArray &dataJson = {},
                               const QByteArray &metaJson = {});
    // json(envelope(200, "ok", dataJson, metaJson)).
    static Reply ok(const QByteArray &dataJson, const QByteArray &metaJson = {});

    const QList<Request> &requests() const { return m_requests; }
    QList<Request> requestsTo(const QString &path) const;
    void clearLog();
    // Spins the event loop until at least count requests are in the log.
    bool waitForRequests(int count, int timeoutMs = 5000);

    // Connections accepted since start(), and those still open.
    int connectionsAccepted() const { return m_accepted; }
    int openConnections() const;
    // Body bytes handed to the sockets by streaming replies since start().
    qint64 streamedBytes() const { return m_streamed; }

signals:
    void requestReceived(const tovra::test::FakeSite::Request &request);

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        bool busy = false;
        int number = 0;
    };
    struct Route
    {
        Handler handler;
    };

    void onNewConnection();
    void readFrom(QTcpSocket *socket);
    void process(QTcpSocket *socket);
    // Parses one complete request off the front of the buffer. Answers false when more bytes are
    // needed; sets bad when the bytes cannot be a request.
    static bool takeRequest(QByteArray &buffer, Request &out, bool &bad);
    Reply replyFor(const Request &request);
    void send(QTcpSocket *socket, const Request &request, const Reply &reply);
    void stream(QTcpSocket *socket, const Reply &reply);
    static QString normalise(const QString &path);
    static QString routeKey(const QByteArray &method, const QString &path);

    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, Connection> m_connections;
    QHash<QString, Route> m_routes;
    QHash<QString, QQueue<Reply>> m_queues;
    QList<Request> m_requests;
    int m_accepted = 0;
    qint64 m_streamed = 0;
};

// A fake site answering on a thread of its own, for a client that makes the main thread wait on
// its requests (GStreamer's HLS demuxer fetches playlists holding a lock the player waits for
// there). Its routes are set once, before it starts.
class ThreadedSite
{
public:
    explicit ThreadedSite(const std::function<void(FakeSite &)> &setUp);
    ~ThreadedSite();
    QUrl url() const { return m_url; }
    // Asked of the site on its thread: its connections open now, and the requests it has had
    // (to one path, or to any when none is named).
    int openConnections() const;
    qsizetype requestCount(const QString &path = {}) const;

private:
    QThread m_thread;
    FakeSite *m_site = new FakeSite;
    QUrl m_url;
};

}

// Test tables carry replies as column values.
Q_DECLARE_METATYPE(tovra::test::FakeSite::Reply)
