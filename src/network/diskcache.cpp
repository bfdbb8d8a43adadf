#include "network/diskcache.h"

#include "network/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThreadPool>

#include <cstdio>

namespace tovra {

namespace {

DiskCache *g_shared = nullptr;

constexpr char kTemporaryPrefix[] = ".write-";
// A writer that is still at work (another client on the same folder) renames its file well
// within this; an older one was left by a process that died mid-write.
constexpr qint64 kAbandonedAfterSeconds = 60;

// The name a write has until it is renamed into place. Entry names all end in ".json", and the
// random part of a temporary name never holds a dot.
bool isTemporary(const QString &name)
{
    return name.startsWith(QLatin1StringView(kTemporaryPrefix)) && !name.endsWith(QLatin1StringView(".json"));
}

void removeAbandonedWrites(const QString &folder)
{
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-kAbandonedAfterSeconds);
    const auto found = QDir(folder).entryInfoList({QLatin1StringView(kTemporaryPrefix) + u'*'},
                                                  QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : found) {
        if (isTemporary(info.fileName()) && info.lastModified() < cutoff)
            QFile::remove(info.filePath());
    }
}

// Atomic, but deliberately not durable: QSaveFile would fdatasync() every reply, which costs
// more than the request itself. An entry lost or cut short by a crash only fails to decode and is
// fetched again.
void writeAtomically(const QString &folder, const QString &path, const QByteArray &data)
{
    // Most replies come back unchanged (a refresh, a title opened again). Comparing a few
    // kilobytes is far cheaper than replacing the file, and restarting the age is all a write
    // would have changed.
    {
        QFile current(path);
        if (current.open(QIODevice::ReadOnly) && current.size() == data.size() && current.readAll() == data
            && current.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime))
            return;
    }
    QTemporaryFile temporary(folder + u'/' + QLatin1StringView(kTemporaryPrefix) + QStringLiteral("XXXXXX"));
    if (!temporary.open())
        return;
    if (temporary.write(data) != data.size() || !temporary.flush())
        return;
    if (::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) == 0)
        temporary.setAutoRemove(false);
}

}

DiskCache::DiskCache(std::optional<QString> folder)
{
    if (folder && !folder->isEmpty()) {
        m_dir = QDir::cleanPath(*folder);
        makePrivateFolder(m_dir);
        m_writer = std::make_unique<QThreadPool>();
        // One thread: operations on the files run strictly in the order they were asked for.
        m_writer->setMaxThreadCount(1);
        // Off the start-up path; queued first, so it never meets a write of this process.
        m_writer->start([folder = m_dir] { removeAbandonedWrites(folder); });
    }
}

DiskCache::~DiskCache()
{
    flush();
}

DiskCache *DiskCache::shared()
{
    if (!g_shared) {
        // Made once for the process and never freed: callers hold the pointer until exit. The
        // queue still reaches the disk when the application object goes.
        g_shared = new DiskCache(cacheDir());
        qAddPostRoutine([] {
            if (g_shared)
                g_shared->flush();
        });
    }
    return g_shared;
}

void DiskCache::setShared(DiskCache *cache)
{
    g_shared = cache;
}

QDateTime DiskCache::now() const
{
    return m_now ? m_now() : QDateTime::currentDateTimeUtc();
}

bool DiskCache::fresh(const QDateTime &at, const QDateTime &now, double maxAge)
{
    // A stamp in the future gives a negative age and counts as fresh.
    const double age = double(at.msecsTo(now)) / 1000.0;
    return age <= maxAge;
}

QString DiskCache::fileName(const QString &key)
{
    if (!isStorable(key))
        return {};
    QString name = key;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + QStringLiteral(".json");
}

bool DiskCache::isStorable(const QString &key)
{
    if (key.isEmpty())
        return false;
    // The file system ends a name at NUL (leaving a stray, shortened file) and has no way to name
    // a lone surrogate: the encoder would write "?" and two keys would share a file.
    for (qsizetype i = 0; i < key.size(); ++i) {
        const QChar c = key[i];
        if (c.isNull())
            return false;
        if (c.isHighSurrogate() && i + 1 < key.size() && key[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false;
    }
    // A longer name would fail to write and leave a memory entry no restart could find again.
    return key.toUtf8().size() + 5 <= 255;
}

QString DiskCache::filePath(const QString &key) const
{
    const QString name = fileName(key);
    if (m_dir.isEmpty() || name.isEmpty())
        return {};
    return m_dir + QLatin1Char('/') + name;
}

std::optional<QByteArray> DiskCache::fileBytes(const QString &key, double maxAge, QDateTime *modified) const
{
    const QString name = fileName(key);
    if (m_dir.isEmpty() || name.isEmpty())
        return std::nullopt;
    {
        const QMutexLocker locker(&m_lock);
        if (const auto queued = m_pending.constFind(name); queued != m_pending.cend()) {
            // Answer as the file will be once the worker gets to it.
            if (!queued->data || !fresh(queued->at, now(), maxAge))
                return std::nullopt;
            if (modified)
                *modified = queued->at;
            return queued->data;
        }
        // A clear still queued will delete whatever the folder holds now.
        if (m_clearsPending > 0)
            return std::nullopt;
    }
    const QString path = m_dir + QLatin1Char('/') + name;
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    const QDateTime mtime = info.lastModified();
    if (!mtime.isValid() || !fresh(mtime, now(), maxAge))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (modified)
        *modified = mtime;
    return bytes;
}

std::optional<QByteArray> DiskCache::loadData(const QString &key, double maxAge)
{
    // An unstorable key is never in memory (saveData refuses it) and fileBytes refuses it too.
    const auto hit = m_memory.constFind(key);
    if (hit != m_memory.cend() && fresh(hit->at, now(), maxAge))
        return hit->data;
    // A stale memory entry stays where it is: a fresher file (written by a typed save) may still
    // answer, and then replaces it.
    QDateTime modified;
    auto bytes = fileBytes(key, maxAge, &modified);
    if (!bytes)
        return std::nullopt;
    m_memory.insert(key, Entry{*bytes, modified.toUTC(), ++m_sequence});
    return bytes;
}

void DiskCache::saveData(const QByteArray &data, const QString &key)
{
    if (!isStorable(key))
        return;
    m_memory.insert(key, Entry{data, now(), ++m_sequence});
    if (m_memory.size() > kMemoryLimit) {
        auto oldest = m_memory.begin();
        for (auto it = m_memory.begin(); it != m_memory.end(); ++it) {
            if (it->at < oldest->at || (it->at == oldest->at && it->sequence < oldest->sequence))
                oldest = it;
        }
        // Only the memory copy goes; the file keeps answering reads within their age.
        m_memory.erase(oldest);
    }
    queueWrite(key, data);
}

void DiskCache::queueWrite(const QString &key, QByteArray data)
{
    if (const QString name = fileName(key); !m_dir.isEmpty() && !name.isEmpty())
        enqueue(name, std::move(data));
}

void DiskCache::queueDelete(const QString &key)
{
    if (const QString name = fileName(key); !m_dir.isEmpty() && !name.isEmpty())
        enqueue(name, std::nullopt);
}

void DiskCache::enqueue(const QString &name, std::optional<QByteArray> data)
{
    quint64 ticket = 0;
    {
        const QMutexLocker locker(&m_lock);
        ticket = ++m_tickets;
        m_pending.insert(name, FileOperation{data, QDateTime::currentDateTimeUtc(), ticket});
    }
    m_writer->start([this, name, path = m_dir + QLatin1Char('/') + name, data = std::move(data), ticket] {
        if (data)
            writeAtomically(m_dir, path, *data);
        else
            QFile::remove(path);
        const QMutexLocker locker(&m_lock);
        // A newer operation on the same file keeps its own entry.
        if (const auto it = m_pending.find(name); it != m_pending.end() && it->ticket == ticket)
            m_pending.erase(it);
    });
}

void DiskCache::remove(const QString &key)
{
    m_memory.remove(key);
    queueDelete(key);
}

void DiskCache::clear()
{
    m_memory.clear();
    if (m_dir.isEmpty())
        return;
    {
        const QMutexLocker locker(&m_lock);
        // Queued writes still run before the folder goes; nothing of them may be read meanwhile.
        m_pending.clear();
        ++m_clearsPending;
    }
    m_writer->start([this] {
        QDir(m_dir).removeRecursively();
        makePrivateFolder(m_dir);
        const QMutexLocker locker(&m_lock);
        --m_clearsPending;
    });
}

void DiskCache::flush() const
{
    if (m_writer)
        m_writer->waitForDone();
}

qint64 DiskCache::diskSize() const
{
    if (m_dir.isEmpty())
        return 0;
    flush();
    const QDir dir(m_dir);
    if (!dir.exists())
        return 0;
    qint64 total = 0;
    const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : entries) {
        if (!isTemporary(info.fileName()))
            total += info.size();
    }
    return total;
}

std::optional<double> DiskCache::age(const QString &key) const
{
    if (const auto hit = m_memory.constFind(key); hit != m_memory.cend())
        return double(hit->at.msecsTo(now())) / 1000.0;
    if (m_dir.isEmpty())
        return std::nullopt;
    flush();
    const QFileInfo info(filePath(key));
    if (!info.exists())
        return std::nullopt;
    return double(info.lastModified().msecsTo(now())) / 1000.0;
}

}
