#pragma once

#include <QHash>
#include <QNetworkDiskCache>

namespace tovra {

// The HTTP disk cache of the one network manager, keeping no body larger than a limit. Qt's own
// cache only refuses bodies above three quarters of its whole size (384 MiB here), and it stores
// a body of unannounced length whole before it decides.
class HttpCache : public QNetworkDiskCache
{
    Q_OBJECT
public:
    HttpCache(qint64 maxBodyBytes, QObject *parent = nullptr);

    QIODevice *prepare(const QNetworkCacheMetaData &metaData) override;
    void insert(QIODevice *device) override;
    bool remove(const QUrl &url) override;

private:
    qint64 m_maxBodyBytes;
    // Bodies being written, with the address each is for: a refused one is dropped by address.
    QHash<QIODevice *, QUrl> m_inserting;
};

}
