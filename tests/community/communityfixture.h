#pragma once

#include "catalogue/cataloguefixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tovra::test {

// Posts as the site sends them. kind picks the medium: "text", "image", "video", "audio" or
// "torrent".
inline QJsonObject postJson(const CatalogueFixture &f, const QString &did, const QString &kind = QStringLiteral("text"))
{
    QJsonObject post{{"did", did},
                     {"uid", "u1"},
                     {"content", QStringLiteral("帖子 %1：今晚一起看 <b>老电影</b> & 聊聊").arg(did)},
                     {"nickname", QStringLiteral("影迷%1").arg(did)},
                     {"photo", f.poster(7)},
                     {"comments_num", 12},
                     {"likes_num", 3},
                     {"liked", false}};
    if (kind == u"image")
        post.insert("images", QJsonArray{f.poster(3)});
    else if (kind == u"video")
        post.insert("videos", QJsonArray{"http://127.0.0.1:1/v.mp4"});
    else if (kind == u"audio")
        post.insert("audios", QJsonArray{"http://127.0.0.1:1/a.mp3"});
    else if (kind == u"torrent")
        post.insert("torrents", QJsonArray{QJsonObject{{"url", "magnet:?xt=urn:btih:abc"}, {"name", "星河之歌.1080p.mkv"}},
                                           QJsonObject{{"url", "https://example.com/t.torrent"},
                                                       {"name", "星河之歌 导演剪辑版 & 花絮 合集 2160p HDR 超长的种子名称会在两行内截断显示"}}});
    return post;
}

// count posts "<prefix><from>" .. in order.
inline QByteArray postsJson(const CatalogueFixture &f, int from, int count, const QString &prefix = QStringLiteral("p"))
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(postJson(f, prefix + QString::number(from + i)));
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

inline QByteArray hasMoreMeta(bool more)
{
    return QJsonDocument(QJsonObject{{"has_more", more}}).toJson(QJsonDocument::Compact);
}

}
