#include "network/httpcache.h"

#include <QIODevice>

namespace tovra {

HttpCache::HttpCache(qint64 maxBodyBytes, QObject *parent)
    : QNetworkDiskCache(parent)
    , m_maxBodyBytes(maxBodyBytes)
{
}

QIODevice *HttpCache::prepare(const QNetworkCacheMetaData &metaData)
{
    for (const auto &[name, value] : metaData.rawHeaders()) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 length = value.trimmed().toLongLong(&ok);
            if (!ok || length > m_maxBodyBytes)
                return nullptr;
        }
    }
    QIODevice *device = QNetworkDiskCache::prepare(metaData);
    if (device)
        m_inserting.insert(device, metaData.url());
    return device;
}

void HttpCache::insert(QIODevice *device)
{
    const QUrl url = m_inserting.take(device);
    // Qt writes the body into the device as it arrives and only calls this at the end.
    if (device->size() > m_maxBodyBytes) {
        QNetworkDiskCache::remove(url);
        return;
    }
    QNetworkDiskCache::insert(device);
}

bool HttpCache::remove(const QUrl &url)
{
    // A cancelled insertion comes through here too; its device is about to be deleted.
    for (auto it = m_inserting.begin(); it != m_inserting.end();) {
        if (it.value() == url)
            it = m_inserting.erase(it);
        else
            ++it;
    }
    return QNetworkDiskCache::remove(url);
}

}
