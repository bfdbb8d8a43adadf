#include "support/fakesite.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

#include <sys/socket.h>

namespace tovra::test {

namespace {

// A request head larger than this is junk, not a request still arriving.
constexpr qsizetype kMaxHead = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Status";
    }
}

bool hasHeaderIn(const QList<FakeSite::Header> &headers, const QByteArray &name)
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray jsonString(const QString &text)
{
    // A one-element array is the shortest way to borrow QJsonDocument's string escaping.
    QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

}

QByteArray FakeSite::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

bool FakeSite::Request::hasHeader(const QByteArray &name) const
{
    return hasHeaderIn(headers, name);
}

QUrlQuery FakeSite::Request::query() const
{
    return QUrlQuery(QString::fromUtf8(rawQuery));
}

QUrlQuery FakeSite::Request::form() const
{
    // Form bodies encode spaces as "+", which QUrlQuery leaves alone.
    QByteArray spaced = body;
    spaced.replace('+', "%20");
    return QUrlQuery(QString::fromUtf8(spaced));
}

FakeSite::FakeSite(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FakeSite::onNewConnection);
}

FakeSite::~FakeSite()
{
    // Stalled connections are still open here. Cut them loose from this object first, so that the
    // disconnected() their abort emits cannot call back into a half-destroyed site.
    m_server->close();
    const auto sockets = m_connections.keys();
    m_connections.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool FakeSite::start()
{
    if (m_server->isListening())
        return true;
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 FakeSite::port() const
{
    return m_server->serverPort();
}

QUrl FakeSite::url(const QString &path) const
{
    QString tail = path;
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port()) + tail);
}

QString FakeSite::normalise(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
}

QString FakeSite::routeKey(const QByteArray &method, const QString &path)
{
    return QString::fromLatin1(method.toUpper()) + QLatin1Char(' ') + normalise(path);
}

void FakeSite::route(const QString &path, Reply reply)
{
    route(QByteArray(), path, std::move(reply));
}

void FakeSite::route(const QByteArray &method, const QString &path, Reply reply)
{
    route(method, path, Handler([reply = std::move(reply)](const Request &) { return reply; }));
}

void FakeSite::route(const QString &path, Handler handler)
{
    route(QByteArray(), path, std::move(handler));
}

void FakeSite::route(const QByteArray &method, const QString &path, Handler handler)
{
    m_routes.insert(routeKey(method, path), Route{std::move(handler)});
}

void FakeSite::enqueue(const QString &path, Reply reply)
{
    enqueue(QByteArray(), path, std::move(reply));
}

void FakeSite::enqueue(const QByteArray &method, const QString &path, Reply reply)
{
    m_queues[routeKey(method, path)].enqueue(std::move(reply));
}

void FakeSite::clearRoutes()
{
    m_routes.clear();
    m_queues.clear();
}

FakeSite::Reply FakeSite::text(const QByteArray &body, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

FakeSite::Reply FakeSite::json(const QByteArray &body, int status)
{
    Reply reply;
    reply.status = status;
    reply.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    reply.body = body;
    return reply;
}

QByteArray FakeSite::envelope(int code, const QString &message, const QByteArray &dataJson,
                              const QByteArray &metaJson)
{
    QByteArray out = "{\"code\":" + QByteArray::number(code) + ",\"message\":" + jsonString(message);
    if (!dataJson.isNull())
        out += ",\"data\":" + dataJson;
    if (!metaJson.isNull())
        out += ",\"meta\":" + metaJson;
    return out + '}';
}

FakeSite::Reply FakeSite::ok(const QByteArray &dataJson, const QByteArray &metaJson)
{
    return json(envelope(200, QStringLiteral("ok"), dataJson, metaJson));
}

QList<FakeSite::Request> FakeSite::requestsTo(const QString &path) const
{
    const QString wanted = normalise(path);
    QList<Request> out;
    for (const auto &r : m_requests) {
        if (r.path == wanted)
            out.append(r);
    }
    return out;
}

void FakeSite::clearLog()
{
    m_requests.clear();
}

bool FakeSite::waitForRequests(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_requests.size() >= count; }, timeoutMs);
}

int FakeSite::openConnections() const
{
    return int(m_connections.size());
}

void FakeSite::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        Connection c;
        c.socket = socket;
        c.number = ++m_accepted;
        m_connections.insert(socket, c);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
        // Bytes may have arrived with the connection itself.
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void FakeSite::readFrom(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->buffer += socket->readAll();
    process(socket);
}

void FakeSite::process(QTcpSocket *socket)
{
    for (;;) {
        auto it = m_connections.find(socket);
        if (it == m_connections.end() || it->busy)
            return;
        Request request;
        bool bad = false;
        if (!takeRequest(it->buffer, request, bad)) {
            if (bad) {
                it->busy = true;
                it->buffer.clear();
                socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            }
            return;
        }
        request.connection = it->number;
        m_requests.append(request);
        emit requestReceived(request);

        const Reply reply = replyFor(request);
        // A listener of requestReceived may have closed the connection.
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        if (reply.stall) {
            it->busy = true;
            return;
        }
        if (reply.delayMs > 0) {
            it->busy = true;
            // The socket is the timer's context: a connection the client dropped in the meantime
            // takes its pending reply with it.
            QTimer::singleShot(reply.delayMs, socket, [this, socket, request, reply] {
                auto at = m_connections.find(socket);
                if (at == m_connections.end())
                    return;
                at->busy = false;
                send(socket, request, reply);
                process(socket);
            });
            return;
        }
        send(socket, request, reply);
    }
}

bool FakeSite::takeRequest(QByteArray &buffer, Request &out, bool &bad)
{
    // Clients may send a stray CRLF between requests on a kept-alive connection.
    while (buffer.startsWith("\r\n"))
        buffer.remove(0, 2);
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        bad = buffer.size() > kMaxHead;
        return false;
    }
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
        bad = true;
        return false;
    }
    Request r;
    r.method = requestLine.at(0);
    r.target = requestLine.at(1);
    qint64 length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            bad = true;
            return false;
        }
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        r.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            length = value.toLongLong(&ok);
            if (!ok || length < 0) {
                bad = true;
                return false;
            }
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            bad = true; // chunked request bodies are not something the client sends
            return false;
        }
    }
    const qint64 total = headEnd + 4 + length;
    if (buffer.size() < total)
        return false;

    r.body = buffer.mid(headEnd + 4, length);
    r.raw = buffer.left(total);
    buffer.remove(0, total);

    const qsizetype question = r.target.indexOf('?');
    const QByteArray rawPath = question < 0 ? r.target : r.target.left(question);
    r.rawQuery = question < 0 ? QByteArray() : r.target.mid(question + 1);
    r.path = normalise(QUrl::fromPercentEncoding(rawPath));
    out = std::move(r);
    return true;
}

FakeSite::Reply FakeSite::replyFor(const Request &request)
{
    const QString exact = routeKey(request.method, request.path);
    const QString any = routeKey(QByteArray(), request.path);
    for (const QString &key : {exact, any}) {
        auto queue = m_queues.find(key);
        if (queue != m_queues.end() && !queue->isEmpty())
            return queue->dequeue();
    }
    for (const QString &key : {exact, any}) {
        const auto found = m_routes.constFind(key);
        if (found != m_routes.cend()) {
            // Copy: the handler may add or remove routes while it runs.
            const Handler handler = found->handler;
            return handler(request);
        }
    }
    Reply notFound;
    notFound.status = 404;
    return notFound;
}

void FakeSite::send(QTcpSocket *socket, const Request &request, const Reply &reply)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;

    if (!reply.raw.isNull()) {
        socket->write(reply.raw);
        if (reply.closeAfter) {
            it->busy = true;
            socket->disconnectFromHost();
        }
        return;
    }

    if (!reply.streamChunk.isEmpty() || reply.throttleBytesPerSecond > 0) {
        it->busy = true;
        stream(socket, reply);
        return;
    }

    const bool clientCloses = request.header("Connection").compare("close", Qt::CaseInsensitive) == 0
                              || request.raw.startsWith(request.method + ' ' + request.target + " HTTP/1.0");
    const bool closing = reply.closeAfter || clientCloses || reply.closeMidBody;
    const bool noBody = request.method == "HEAD" || reply.status == 204 || reply.status == 304
                        || (reply.status >= 100 && reply.status < 200);

    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto &h : reply.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (!hasHeaderIn(reply.headers, "Content-Length") && !hasHeaderIn(reply.headers, "Transfer-Encoding")
        && reply.status != 204 && reply.status != 304)
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    if (!hasHeaderIn(reply.headers, "Connection"))
        head += closing ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    head += "\r\n";

    if (reply.closeMidBody || reply.stallMidBody || reply.resetMidBody) {
        it->busy = true;
        socket->write(head + reply.body.left(reply.body.size() / 2));
        socket->flush();
        if (reply.closeMidBody)
            socket->disconnectFromHost();
        if (reply.resetMidBody) {
            // Once the half is with the kernel, a linger of zero makes the close a reset.
            const auto reset = [socket, off = linger{1, 0}] {
                if (socket->bytesToWrite() > 0)
                    return;
                ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &off, sizeof off);
                socket->abort();
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, reset);
            reset();
        }
        return;
    }

    socket->write(noBody ? head : head + reply.body);
    if (closing) {
        it->busy = true;
        socket->disconnectFromHost();
    }
}

void FakeSite::stream(QTcpSocket *socket, const Reply &reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto &h : reply.headers)
        head += h.first + ": " + h.second + "\r\n";
    const bool throttled = reply.throttleBytesPerSecond > 0;
    if (throttled)
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    auto *pump = new QTimer(socket);
    auto sent = std::make_shared<qint64>(0);
    constexpr int kThrottleTick = 50;
    QObject::connect(pump, &QTimer::timeout, socket, [this, socket, pump, sent, reply, throttled] {
        if (throttled) {
            if (*sent >= reply.body.size() || socket->state() != QAbstractSocket::ConnectedState) {
                pump->stop();
                socket->disconnectFromHost();
                return;
            }
            const QByteArray piece = reply.body.mid(*sent, std::max<qint64>(1, reply.throttleBytesPerSecond * kThrottleTick / 1000));
            socket->write(piece);
            *sent += piece.size();
            return;
        }
        // Keep at most a few chunks queued: a flood must not pile up in this process either.
        if (socket->bytesToWrite() > 4 * reply.streamChunk.size() + 65536)
            return;
        if (*sent >= reply.streamLimit || socket->state() != QAbstractSocket::ConnectedState) {
            pump->stop();
            socket->disconnectFromHost();
            return;
        }
        const QByteArray piece = reply.streamChunk.left(reply.streamLimit - *sent);
        socket->write(piece);
        *sent += piece.size();
        m_streamed += piece.size();
    });
    pump->start(throttled ? kThrottleTick : reply.streamIntervalMs);
}

ThreadedSite::ThreadedSite(const std::function<void(FakeSite &)> &setUp)
{
    setUp(*m_site);
    m_site->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_site, [this] { m_url = m_site->start() ? m_site->url() : QUrl(); }, Qt::BlockingQueuedConnection);
    if (m_url.isEmpty())
        qFatal("the threaded fake site cannot listen on the loopback");
}

int ThreadedSite::openConnections() const
{
    int open = 0;
    QMetaObject::invokeMethod(m_site, [&] { open = m_site->openConnections(); }, Qt::BlockingQueuedConnection);
    return open;
}

qsizetype ThreadedSite::requestCount(const QString &path) const
{
    qsizetype count = 0;
    QMetaObject::invokeMethod(
        m_site, [&] { count = path.isEmpty() ? m_site->requests().size() : m_site->requestsTo(path).size(); }, Qt::BlockingQueuedConnection);
    return count;
}

ThreadedSite::~ThreadedSite()
{
    QMetaObject::invokeMethod(m_site, [this] { delete m_site; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

}
