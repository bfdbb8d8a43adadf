#include "network/imageloader.h"

#include "models/webaddress.h"

#include <QBuffer>
#include <QFuture>
#include <QImageReader>
#include <QAbstractNetworkCache>
#include <QDateTime>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <memory>

namespace tovra {

namespace {
QPointer<ImageLoader> g_shared;

// The format the bytes say they are in. Told it, Qt loads that one image plugin; left to guess,
// it loads every installed plugin, each with its codec library, until one takes the bytes.
QByteArray formatOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (bytes.startsWith("GIF8"))
        return "gif";
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return "webp";
    return {};
}

// Read as format only, or as whatever Qt finds when format is empty.
QImage decodeAs(const QByteArray &bytes, const QSize &fitSize, const QByteArray &format)
{
    QByteArray data = bytes;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(format.isEmpty());
    reader.setAutoTransform(true);
    const QSize source = reader.size();
    if (fitSize.isValid() && !fitSize.isEmpty() && source.isValid() && !source.isEmpty()) {
        const qreal scale = qMax(qreal(fitSize.width()) / source.width(), qreal(fitSize.height()) / source.height());
        // Never enlarge: a smaller poster is painted scaled up, not stored scaled up.
        if (scale < 1.0) {
            const QSize scaled(qMax(1, int(std::ceil(source.width() * scale))),
                               qMax(1, int(std::ceil(source.height() * scale))));
            reader.setScaledSize(scaled);
        }
    }
    return reader.read();
}
}

ImageLoader::ImageLoader(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network)
{
    m_memory.setMaxCost(kDefaultMemoryBytes);
    // Decoding is short and CPU-bound; a few threads keep up with a fast scroll without
    // starving the rest of the process.
    m_pool.setMaxThreadCount(qBound(2, QThread::idealThreadCount() / 2, 4));
}

ImageLoader::~ImageLoader()
{
    for (auto &fetch : m_fetches)
        abortReply(fetch);
    for (auto it = m_receivers.cbegin(); it != m_receivers.cend(); ++it)
        disconnect(it.value().second);
    if (g_shared == this)
        g_shared = nullptr;
}

ImageLoader *ImageLoader::shared()
{
    return g_shared;
}

void ImageLoader::setShared(ImageLoader *loader)
{
    g_shared = loader;
}

QString ImageLoader::urlKey(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

QString ImageLoader::cacheKey(const QString &urlKey, const QSize &fitSize)
{
    if (!fitSize.isValid() || fitSize.isEmpty())
        return urlKey;
    return urlKey + QLatin1Char(' ') + QString::number(fitSize.width()) + QLatin1Char('x')
           + QString::number(fitSize.height());
}

QImage ImageLoader::cached(const QUrl &url, const QSize &fitSize) const
{
    if (!isWebAddress(url))
        return {};
    if (const QImage *hit = m_memory.object(cacheKey(urlKey(url), fitSize)))
        return *hit;
    return {};
}

ImageLoader::Ticket ImageLoader::load(const QUrl &url, QObject *receiver, Callback callback,
                                      const QSize &fitSize)
{
    return start(url, receiver, std::move(callback), fitSize, false);
}

ImageLoader::Ticket ImageLoader::loadIgnoringStatus(const QUrl &url, QObject *receiver, Callback callback)
{
    return start(url, receiver, std::move(callback), {}, true);
}

ImageLoader::Ticket ImageLoader::start(const QUrl &url, QObject *receiver, Callback callback, const QSize &fitSize,
                                       bool ignoreStatus)
{
    Q_ASSERT(QThread::currentThread() == thread());
    Waiter waiter;
    waiter.ticket = nextTicket();
    waiter.receiverKey = receiver;
    waiter.receiver = receiver;
    waiter.callback = std::move(callback);
    waiter.fitSize = (fitSize.isValid() && !fitSize.isEmpty()) ? fitSize : QSize();
    const Ticket ticket = waiter.ticket;
    if (!receiver)
        return ticket;

    if (!isWebAddress(url) || !m_network) {
        deliverLater(std::move(waiter), {});
        return ticket;
    }
    // Kept apart from the status-checking loads of the same address, which must not be handed
    // a picture that came with an error status.
    const QString key = ignoreStatus ? QStringLiteral("any-status ") + urlKey(url) : urlKey(url);
    if (const QImage *hit = m_memory.object(cacheKey(key, waiter.fitSize))) {
        deliverLater(std::move(waiter), *hit);
        return ticket;
    }

    watchReceiver(receiver);
    m_ticketFetch.insert(ticket, key);
    auto found = m_fetches.find(key);
    if (found == m_fetches.end()) {
        Fetch fetch;
        fetch.url = url;
        fetch.ignoreStatus = ignoreStatus;
        fetch.waiters.append(std::move(waiter));
        m_fetches.insert(key, std::move(fetch));
        startDownload(key);
        return ticket;
    }
    Fetch &fetch = *found;
    const QSize size = waiter.fitSize;
    fetch.waiters.append(std::move(waiter));
    // Bytes already here: a size nobody asked for yet needs a decode of its own.
    if (fetch.downloaded && !fetch.decoding.contains(size))
        startDecode(key, size);
    return ticket;
}

QByteArray ImageLoader::freshCachedBody(const QUrl &url) const
{
    QAbstractNetworkCache *cache = m_network ? m_network->cache() : nullptr;
    if (!cache)
        return {};
    // Only what the network manager itself would answer from the cache: a successful reply
    // still fresh and not to be revalidated. A redirect, an expired entry or one whose age Qt
    // works out from dates goes the usual way.
    const QNetworkCacheMetaData meta = cache->metaData(url);
    const int status = meta.attributes().value(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!meta.isValid() || !meta.saveToDisk() || status < 200 || status > 299 || !meta.expirationDate().isValid()
        || meta.expirationDate() <= QDateTime::currentDateTimeUtc())
        return {};
    for (const auto &[name, value] : meta.rawHeaders()) {
        if (name.compare("Cache-Control", Qt::CaseInsensitive) == 0
            && (value.toLower().contains("no-cache") || value.toLower().contains("must-revalidate")))
            return {};
    }
    const std::unique_ptr<QIODevice> body(cache->data(url));
    if (!body || body->size() > m_maxBodyBytes)
        return {};
    return body->readAll();
}

void ImageLoader::prefetchCached(const QList<QUrl> &urls, const QSize &fitSize)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const QSize size = (fitSize.isValid() && !fitSize.isEmpty()) ? fitSize : QSize();
    for (const QUrl &url : urls) {
        if (!isWebAddress(url))
            continue;
        const QString key = cacheKey(urlKey(url), size);
        if (m_memory.contains(key) || m_prefetched.contains(key))
            continue;
        const QByteArray bytes = freshCachedBody(url);
        if (bytes.isEmpty())
            continue;
        const quint64 serial = ++m_lastPrefetch;
        QFuture<QImage> decoding = QtConcurrent::run(&m_pool, &ImageLoader::decode, bytes, size);
        // Entered before the continuation is attached: Qt runs it at once, inside then(), when
        // the decode has already finished, and it must find its entry then too.
        m_prefetched.insert(key, {serial, decoding});
        decoding.then(this, [this, key, serial](const QImage &image) {
            const auto found = m_prefetched.constFind(key);
            // Taken by decodeCachedNow() already, or left for memory.
            if (found == m_prefetched.cend() || found->serial != serial)
                return;
            m_prefetched.erase(found);
            if (!image.isNull())
                m_memory.insert(key, new QImage(image), qMax<qsizetype>(1, image.sizeInBytes()));
        });
    }
}

int ImageLoader::decodeCachedNow(const QList<QUrl> &urls, const QSize &fitSize)
{
    Q_ASSERT(QThread::currentThread() == thread());
    const QSize size = (fitSize.isValid() && !fitSize.isEmpty()) ? fitSize : QSize();
    // Every decode is started before the first wait, so the pool works on them side by side.
    // None of them carries a continuation that could fill memory behind this count: those
    // started ahead are taken out of m_prefetched first, and so find nothing when they run
    // (on this thread too, from within result(), when it runs a decode the pool has not
    // started yet).
    QList<std::pair<QString, QFuture<QImage>>> waiting;
    for (const QUrl &url : urls) {
        if (!isWebAddress(url))
            continue;
        const QString key = cacheKey(urlKey(url), size);
        if (m_memory.contains(key) || std::ranges::any_of(waiting, [&](const auto &w) { return w.first == key; }))
            continue;
        if (const auto ahead = m_prefetched.find(key); ahead != m_prefetched.end()) {
            waiting.append({key, ahead->image});
            m_prefetched.erase(ahead);
            continue;
        }
        const QByteArray bytes = freshCachedBody(url);
        if (!bytes.isEmpty())
            waiting.append({key, QtConcurrent::run(&m_pool, &ImageLoader::decode, bytes, size)});
    }
    int added = 0;
    for (auto &[key, decoding] : waiting) {
        const QImage image = decoding.result();
        if (!image.isNull() && m_memory.insert(key, new QImage(image), qMax<qsizetype>(1, image.sizeInBytes())))
            ++added;
    }
    return added;
}

void ImageLoader::cancel(Ticket ticket)
{
    if (const auto ready = m_ready.find(ticket); ready != m_ready.end()) {
        QObject *receiver = ready->first.receiverKey;
        m_ready.erase(ready);
        releaseReceiver(receiver);
        return;
    }
    const auto found = m_ticketFetch.constFind(ticket);
    if (found == m_ticketFetch.cend())
        return;
    const QString key = *found;
    m_ticketFetch.erase(found);
    auto fetch = m_fetches.find(key);
    if (fetch == m_fetches.end())
        return;
    for (qsizetype i = 0; i < fetch->waiters.size(); ++i) {
        if (fetch->waiters.at(i).ticket == ticket) {
            QObject *receiver = fetch->waiters.at(i).receiverKey;
            fetch->waiters.removeAt(i);
            releaseReceiver(receiver);
            break;
        }
    }
    abandonIfUnwanted(key);
}

void ImageLoader::watchReceiver(QObject *receiver)
{
    auto found = m_receivers.find(receiver);
    if (found != m_receivers.end()) {
        ++found->first;
        return;
    }
    auto connection = connect(receiver, &QObject::destroyed, this, [this, receiver] { dropReceiver(receiver); });
    m_receivers.insert(receiver, {1, connection});
}

void ImageLoader::releaseReceiver(QObject *receiver)
{
    auto found = m_receivers.find(receiver);
    if (found == m_receivers.end())
        return;
    if (--found->first <= 0) {
        disconnect(found->second);
        m_receivers.erase(found);
    }
}

void ImageLoader::dropReceiver(QObject *receiver)
{
    m_receivers.remove(receiver);
    for (auto it = m_ready.begin(); it != m_ready.end();) {
        if (it->first.receiverKey == receiver)
            it = m_ready.erase(it);
        else
            ++it;
    }
    QStringList touched;
    for (auto it = m_fetches.begin(); it != m_fetches.end(); ++it) {
        const auto removed = it->waiters.removeIf([&](const Waiter &w) {
            if (w.receiverKey != receiver)
                return false;
            m_ticketFetch.remove(w.ticket);
            return true;
        });
        if (removed)
            touched.append(it.key());
    }
    for (const QString &key : std::as_const(touched))
        abandonIfUnwanted(key);
}

void ImageLoader::abandonIfUnwanted(const QString &key)
{
    auto fetch = m_fetches.find(key);
    if (fetch == m_fetches.end() || !fetch->waiters.isEmpty())
        return;
    // A running decode is left to finish: its result still goes into the memory cache.
    if (!fetch->decoding.isEmpty())
        return;
    abortReply(*fetch);
    m_fetches.erase(fetch);
}

void ImageLoader::abortReply(Fetch &fetch)
{
    if (!fetch.reply)
        return;
    QNetworkReply *reply = fetch.reply;
    fetch.reply = nullptr;
    // Disconnect first: abort() emits finished() synchronously.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void ImageLoader::startDownload(const QString &key)
{
    Fetch &fetch = m_fetches[key];
    QNetworkRequest request(fetch.url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setRawHeader("Accept", "image/avif,image/webp,image/png,image/jpeg,image/*;q=0.8");
    QNetworkReply *reply = m_network->get(request);
    fetch.reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, key, reply](qint64 received, qint64 total) {
        if (received <= m_maxBodyBytes && total <= m_maxBodyBytes)
            return;
        auto found = m_fetches.find(key);
        if (found == m_fetches.end() || found->reply != reply)
            return;
        abortReply(*found);
        failAll(key);
    });
    connect(reply, &QNetworkReply::finished, this, [this, key] { onDownloadFinished(key); });
}

void ImageLoader::onDownloadFinished(const QString &key)
{
    auto found = m_fetches.find(key);
    if (found == m_fetches.end() || !found->reply)
        return;
    QNetworkReply *reply = found->reply;
    found->reply = nullptr;
    reply->deleteLater();
    // Redirects are followed by the manager; the place it ended up must still be one we allow.
    const bool answered = reply->error() == QNetworkReply::NoError
                          || (found->ignoreStatus && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()
                              && reply->error() != QNetworkReply::OperationCanceledError);
    if (!answered || !isWebAddress(reply->url())) {
        failAll(key);
        return;
    }
    found->bytes = reply->readAll();
    found->downloaded = true;
    QList<QSize> sizes;
    for (const Waiter &w : std::as_const(found->waiters)) {
        if (!sizes.contains(w.fitSize))
            sizes.append(w.fitSize);
    }
    if (sizes.isEmpty()) {
        m_fetches.erase(found);
        return;
    }
    for (const QSize &size : std::as_const(sizes))
        startDecode(key, size);
}

void ImageLoader::startDecode(const QString &key, const QSize &fitSize)
{
    Fetch &fetch = m_fetches[key];
    fetch.decoding.append(fitSize);
    QtConcurrent::run(&m_pool, &ImageLoader::decode, fetch.bytes, fitSize)
        .then(this, [this, key, fitSize](const QImage &image) { onDecoded(key, fitSize, image); });
}

void ImageLoader::onDecoded(const QString &key, const QSize &fitSize, const QImage &image)
{
    auto found = m_fetches.find(key);
    if (found == m_fetches.end())
        return;
    found->decoding.removeOne(fitSize);
    if (!image.isNull())
        m_memory.insert(cacheKey(key, fitSize), new QImage(image), qMax<qsizetype>(1, image.sizeInBytes()));

    QList<Waiter> ready;
    found->waiters.removeIf([&](const Waiter &w) {
        if (w.fitSize != fitSize)
            return false;
        ready.append(w);
        return true;
    });
    if (found->waiters.isEmpty() && found->decoding.isEmpty())
        m_fetches.erase(found);
    for (Waiter &w : ready) {
        m_ticketFetch.remove(w.ticket);
        releaseReceiver(w.receiverKey);
        deliver(std::move(w), image);
    }
}

void ImageLoader::failAll(const QString &key)
{
    auto found = m_fetches.find(key);
    if (found == m_fetches.end())
        return;
    const QList<Waiter> waiters = std::move(found->waiters);
    m_fetches.erase(found);
    for (const Waiter &w : waiters) {
        m_ticketFetch.remove(w.ticket);
        releaseReceiver(w.receiverKey);
        deliver(w, {});
    }
}

void ImageLoader::deliver(Waiter waiter, const QImage &image)
{
    ++m_delivered;
    if (waiter.receiver && waiter.callback)
        waiter.callback(image);
}

void ImageLoader::deliverLater(Waiter waiter, const QImage &image)
{
    const Ticket ticket = waiter.ticket;
    QObject *receiver = waiter.receiverKey;
    watchReceiver(receiver);
    m_ready.insert(ticket, {std::move(waiter), image});
    // Tied to the receiver: if it is destroyed first, nothing runs and dropReceiver() has
    // already forgotten the entry.
    QTimer::singleShot(0, receiver, [this, ticket] {
        const auto found = m_ready.find(ticket);
        if (found == m_ready.end())
            return;
        auto [w, img] = std::move(*found);
        m_ready.erase(found);
        releaseReceiver(w.receiverKey);
        deliver(std::move(w), img);
    });
}

void ImageLoader::setMemoryLimit(qint64 bytes)
{
    m_memory.setMaxCost(qMax<qint64>(0, bytes));
}

qint64 ImageLoader::memoryLimit() const
{
    return m_memory.maxCost();
}

qint64 ImageLoader::memoryUsed() const
{
    return m_memory.totalCost();
}

void ImageLoader::clearMemory()
{
    m_memory.clear();
}

int ImageLoader::activeDownloads() const
{
    int count = 0;
    for (const Fetch &fetch : m_fetches)
        count += fetch.reply ? 1 : 0;
    return count;
}

int ImageLoader::pendingWithoutNetwork() const
{
    int count = int(m_ready.size());
    QAbstractNetworkCache *cache = m_network ? m_network->cache() : nullptr;
    for (const Fetch &fetch : m_fetches) {
        if (!fetch.waiters.isEmpty() && (fetch.downloaded || (cache && cache->metaData(fetch.url).isValid())))
            ++count;
    }
    return count;
}

QImage ImageLoader::decode(const QByteArray &bytes, const QSize &fitSize)
{
    // Bytes that are not what they announce are read again with the format left to Qt.
    const QByteArray format = formatOf(bytes);
    QImage image = decodeAs(bytes, fitSize, format);
    if (image.isNull() && !format.isEmpty())
        image = decodeAs(bytes, fitSize, {});
    if (image.isNull())
        return {};
    const QImage::Format wanted = image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != wanted)
        image.convertTo(wanted);
    return image;
}

}
