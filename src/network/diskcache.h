#pragma once

#include "models/decoding.h"
#include "models/jsonwriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

namespace tovra {

// Keeps raw API replies (and a few records the screens store themselves) under a text key: a
// small memory table in front of one file per key in the cache folder. Every failure is an absent
// entry: a cache must never turn a good reply into an error.
//
// Used from the main thread. Reads are synchronous (entries are single JSON replies of a few
// kilobytes, read whole from the page cache). Writes and deletes are not: replacing a file can
// cost milliseconds on a busy or slow disk, so they run in order on one worker thread, and until
// a queued operation has run, reads answer as if it had (the queued bytes, or nothing for a
// queued delete or clear). flush() waits for the queue.
class DiskCache
{
public:
    static constexpr int kMemoryLimit = 40;

    // folder: where the entry files live, created if missing; none keeps entries in memory only.
    // Temporary files that a process killed mid-write left there over a minute ago are deleted
    // by the worker, before anything else it does.
    explicit DiskCache(std::optional<QString> folder);
    // Waits for queued writes.
    ~DiskCache();
    DiskCache(const DiskCache &) = delete;
    DiskCache &operator=(const DiskCache &) = delete;

    // The process-wide cache: the one installed with setShared(), or else one made on first use
    // in the user's cache folder (its queue is flushed when the application quits).
    static DiskCache *shared();
    static void setShared(DiskCache *cache);

    // Bytes stored under key at most maxAge seconds ago: the memory table first, then the file,
    // whose age is its modification time. A file hit is copied into memory (without eviction).
    std::optional<QByteArray> loadData(const QString &key, double maxAge);
    // Memory entry stamped now (evicting the oldest one past the limit), then an atomic file write.
    void saveData(const QByteArray &data, const QString &key);

    // Typed entries live in the files only; the memory table is neither read nor written. T is
    // any record the JSON readers of models/decoding.h read, a list of records included.
    template<class T>
    std::optional<T> load(const QString &key, double maxAge) const
    {
        const auto bytes = fileBytes(key, maxAge);
        if (!bytes)
            return std::nullopt;
        auto decoded = json::decodeDocument<T>(*bytes);
        if (!decoded)
            return std::nullopt;
        return std::move(*decoded);
    }
    // Written in the order the record declares its members (models/jsonwriter.h).
    template<class T>
    void save(const T &value, const QString &key)
    {
        queueWrite(key, json::writeRecord(value));
    }
    template<class T>
    void save(const QList<T> &values, const QString &key)
    {
        queueWrite(key, json::writeList(values));
    }

    // Drops the memory entry and deletes the file.
    void remove(const QString &key);
    // Empties memory, deletes the folder with everything in it and creates it again.
    void clear();
    // Sum of the sizes of the folder's direct entries once the queue has run, unfinished writes
    // left out; 0 when the folder cannot be listed.
    qint64 diskSize() const;
    // Seconds since the entry was stored: the memory stamp if there is one, else the file's.
    std::optional<double> age(const QString &key) const;
    // Blocks until every queued write and delete has reached the disk.
    void flush() const;

    // The folder, or empty when the cache keeps memory only.
    QString folder() const { return m_dir; }
    // The file that holds key: every "/" becomes "_" and ".json" is appended, nothing else changes.
    // Empty for a key that cannot be stored.
    static QString fileName(const QString &key);
    // Whether key can name a file of its own: not empty, no NUL, no lone surrogate, and a name
    // within 255 bytes. Every operation treats any other key as an entry that is never there.
    static bool isStorable(const QString &key);
    QString filePath(const QString &key) const;

    // For tests: the memory table as it stands.
    bool inMemory(const QString &key) const { return m_memory.contains(key); }
    int memoryCount() const { return int(m_memory.size()); }
    // The clock every stamp and age is read from; tests move it instead of sleeping. Files are
    // always stamped by the file system's own clock.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

private:
    struct Entry
    {
        QByteArray data;
        QDateTime at;
        // Tie-break for equal stamps: of two entries saved in the same millisecond the one saved
        // first is the older, as the save order says.
        quint64 sequence = 0;
    };
    // A write (data) or a delete (no data) that the worker has not done yet.
    struct FileOperation
    {
        std::optional<QByteArray> data;
        QDateTime at;
        quint64 ticket = 0;
    };

    QDateTime now() const;
    std::optional<QByteArray> fileBytes(const QString &key, double maxAge, QDateTime *modified = nullptr) const;
    void queueWrite(const QString &key, QByteArray data);
    void queueDelete(const QString &key);
    void enqueue(const QString &name, std::optional<QByteArray> data);
    static bool fresh(const QDateTime &at, const QDateTime &now, double maxAge);

    QString m_dir;
    QHash<QString, Entry> m_memory;
    quint64 m_sequence = 0;
    std::function<QDateTime()> m_now;

    // Shared with the worker thread.
    mutable QMutex m_lock;
    QHash<QString, FileOperation> m_pending; // by file name
    int m_clearsPending = 0;
    quint64 m_tickets = 0;
    std::unique_ptr<QThreadPool> m_writer;
};

}
