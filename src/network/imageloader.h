#pragma once

#include <QByteArray>
#include <QCache>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QThreadPool>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace tovra {

// The one loader of posters and avatars. Downloads go through the given network manager (and
// so through its HTTP disk cache); decoded images are kept in a byte-capped memory cache;
// decoding runs on a thread pool, never on the UI thread; concurrent requests for one address
// share one download; and a request is dropped when the object that asked is destroyed, the
// download itself being aborted once nobody waits for it any more.
//
// Used from the UI thread only. Callbacks run on it, never from within load().
class ImageLoader : public QObject
{
    Q_OBJECT
public:
    // About five screenfuls of grid posters: enough to scroll back or go back without a new
    // decode, small enough that a long session keeps its memory within a few tens of megabytes.
    static constexpr qint64 kDefaultMemoryBytes = 32LL * 1024 * 1024;
    static constexpr qint64 kDefaultMaxBodyBytes = 16LL * 1024 * 1024;

    using Ticket = quint64;
    // A null image means the load failed (refused address, network or HTTP error, undecodable).
    using Callback = std::function<void(const QImage &image)>;

    explicit ImageLoader(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~ImageLoader() override;

    // The process-wide loader, installed by the composition root; null until then.
    static ImageLoader *shared();
    static void setShared(ImageLoader *loader);


    // The decoded image if memory holds it now, else a null image. fitSize as for load().
    QImage cached(const QUrl &url, const QSize &fitSize = {}) const;

    // Starts or joins the load of url and calls callback once with the result, unless receiver
    // is destroyed or the ticket cancelled first. A valid fitSize (device pixels) decodes the
    // image scaled down just enough to cover that size, which keeps memory to what is shown;
    // an empty one keeps the image's own size.
    Ticket load(const QUrl &url, QObject *receiver, Callback callback, const QSize &fitSize = {});
    // As load(), but a body that decodes is the picture whatever HTTP status came with it: for
    // pictures the site serves at fixed addresses behind pages that answer 404 with the image.
    // Posters and avatars use load(), which refuses every non-2xx reply.
    Ticket loadIgnoringStatus(const QUrl &url, QObject *receiver, Callback callback);
    void cancel(Ticket ticket);
    // Decodes, before it returns, those of urls that memory lacks and the HTTP cache would answer
    // without asking the server, all at once on the pool (this thread lending a hand): for a
    // screen's first frame, which then shows them instead of placeholders followed by a second
    // frame. Anything else is left to load(). Answers how many images it added to memory.
    int decodeCachedNow(const QList<QUrl> &urls, const QSize &fitSize);
    // Starts those decodes ahead, for a decodeCachedNow() to come, which then waits only for
    // what is left of them. Decodes nobody waits for still fill memory.
    void prefetchCached(const QList<QUrl> &urls, const QSize &fitSize);

    void setMemoryLimit(qint64 bytes);
    qint64 memoryLimit() const;
    qint64 memoryUsed() const;
    void clearMemory();
    // Larger bodies are abandoned as failures.
    void setMaxBodyBytes(qint64 bytes) { m_maxBodyBytes = bytes; }

    // Downloads in flight (for tests and diagnostics).
    int activeDownloads() const;
    // For the start-up mark: images handed to their receivers so far, and loads still to be
    // handed over that wait for no server (their bytes are here, or in the HTTP cache).
    quint64 deliveredCount() const { return m_delivered; }
    int pendingWithoutNetwork() const;
    // Decodes the bytes (in the calling thread), scaled to cover fitSize when given.
    static QImage decode(const QByteArray &bytes, const QSize &fitSize);

private:
    struct Waiter
    {
        Ticket ticket = 0;
        QObject *receiverKey = nullptr; // identity only: compared, never dereferenced
        QPointer<QObject> receiver;
        Callback callback;
        QSize fitSize;
    };
    struct Fetch
    {
        QUrl url;
        bool ignoreStatus = false;
        QNetworkReply *reply = nullptr;
        QByteArray bytes;
        bool downloaded = false;
        QList<Waiter> waiters;
        QList<QSize> decoding;
    };

    static QString urlKey(const QUrl &url);
    QByteArray freshCachedBody(const QUrl &url) const;
    static QString cacheKey(const QString &urlKey, const QSize &fitSize);
    Ticket nextTicket() { return ++m_lastTicket; }
    Ticket start(const QUrl &url, QObject *receiver, Callback callback, const QSize &fitSize, bool ignoreStatus);
    void watchReceiver(QObject *receiver);
    void releaseReceiver(QObject *receiver);
    void dropReceiver(QObject *receiver);
    void startDownload(const QString &key);
    void onDownloadFinished(const QString &key);
    void startDecode(const QString &key, const QSize &fitSize);
    void onDecoded(const QString &key, const QSize &fitSize, const QImage &image);
    void failAll(const QString &key);
    void deliver(Waiter waiter, const QImage &image);
    void deliverLater(Waiter waiter, const QImage &image);
    void abandonIfUnwanted(const QString &key);
    void abortReply(Fetch &fetch);

    QPointer<QNetworkAccessManager> m_network;
    QCache<QString, QImage> m_memory;
    QHash<QString, Fetch> m_fetches;              // by url key
    QHash<Ticket, QString> m_ticketFetch;         // ticket -> url key, while waiting on a fetch
    QHash<Ticket, std::pair<Waiter, QImage>> m_ready; // answered, delivery queued
    // Decodes started ahead, by memory key. The serial tells a decode's continuation whether
    // the entry is still its own: decodeCachedNow() may have taken it, and a later prefetch of
    // the same key put another in its place.
    struct Prefetch
    {
        quint64 serial = 0;
        QFuture<QImage> image;
    };
    QHash<QString, Prefetch> m_prefetched;
    quint64 m_lastPrefetch = 0;
    QHash<QObject *, std::pair<int, QMetaObject::Connection>> m_receivers;
    qint64 m_maxBodyBytes = kDefaultMaxBodyBytes;
    Ticket m_lastTicket = 0;
    quint64 m_delivered = 0;
    // Declared last so it is destroyed first: its destructor waits for running decodes,
    // which touch nothing of this object.
    QThreadPool m_pool;
};

}
