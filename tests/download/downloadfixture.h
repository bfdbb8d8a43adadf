#pragma once

#include "detail/detailfixture.h"
#include "store/appsettings.h"
#include "views/download/downloadview.h"

#include <QDir>
#include <QStringList>

namespace tovra::test {

// A title's torrent page against the fake site, with a desktop that records instead of acting.
struct DownloadFixture : DetailFixture
{
    QStringList opened;
    bool handlerFound = true; // what the desktop answers when a link is opened
    QStringList revealed;
    QStringList dialogAsked;
    std::optional<QString> dialogAnswer;
    QString folder = home.path() + QStringLiteral("/torrents");

    DownloadFixture() { QDir().mkpath(folder); }

    DownloadView::Desktop desktop()
    {
        DownloadView::Desktop d;
        d.askSavePath = [this](QWidget *, const QString &suggested) {
            dialogAsked.append(suggested);
            return dialogAnswer;
        };
        d.openLink = [this](const QString &link) {
            opened.append(link);
            return handlerFound;
        };
        d.reveal = [this](const QString &path) { revealed.append(path); };
        return d;
    }

    std::unique_ptr<DownloadView> page(qint64 index = 2)
    {
        Torrent torrent;
        torrent.index = index;
        torrent.name = QStringLiteral("行名不显示");
        auto view = std::make_unique<DownloadView>(QStringLiteral("d1"), torrent);
        view->setDesktop(desktop());
        view->resize(900, 700);
        view->show();
        return view;
    }

    void saveStraightInto(const QString &path)
    {
        AppSettings::shared().setTorrentDirectory(path);
        AppSettings::shared().setAskEverySave(false);
    }
};

inline QByteArray torrentDetailJson(const QString &name = QStringLiteral("星河 S01 1080p"))
{
    QJsonArray season;
    for (int e = 1; e <= 3; ++e)
        season.append(QJsonObject{{"name", QStringLiteral("E%1.mkv").arg(e)}, {"size", e == 3 ? "" : "1.2 GB"}});
    const QJsonObject o{{"did", "d1"},
                        {"name", name},
                        {"size", "3.6 GB"},
                        {"files", QJsonArray{QJsonObject{{"name", "Season 1"}, {"children", season}},
                                             QJsonObject{{"name", "说明.NFO"}, {"size", "2 KB"}},
                                             QJsonObject{{"name", "Sample.MKV"}, {"size", ""}}}}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A bencoded dictionary long enough to pass for a torrent.
inline QByteArray torrentBytes(int size = 300)
{
    QByteArray bytes("d8:announce");
    while (bytes.size() < size)
        bytes.append(char('a' + bytes.size() % 26));
    return bytes.left(size);
}

}
