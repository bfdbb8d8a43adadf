#include "models/communitylogic.h"

#include "models/webaddress.h"

#include <QSet>
#include <QUrl>

namespace tovra::community {

const QList<FilterEntry> &filters()
{
    static const QList<FilterEntry> table = {
        {QString(), QStringLiteral("全部")},
        {QStringLiteral("video"), QStringLiteral("视频")},
        {QStringLiteral("image"), QStringLiteral("图片")},
        {QStringLiteral("audio"), QStringLiteral("音频")},
        {QStringLiteral("torrent"), QStringLiteral("种子")},
    };
    return table;
}

QString emptyText()
{
    return QStringLiteral("这里还没有内容");
}

QList<BbsPost> distinctPosts(QList<BbsPost> posts)
{
    return newPosts({}, posts);
}

QList<BbsPost> newPosts(const QList<BbsPost> &shown, const QList<BbsPost> &page)
{
    QSet<QString> seen;
    seen.reserve(shown.size() + page.size());
    for (const BbsPost &post : shown)
        seen.insert(post.did);
    QList<BbsPost> out;
    for (const BbsPost &post : page) {
        if (seen.contains(post.did))
            continue;
        seen.insert(post.did);
        out.append(post);
    }
    return out;
}

bool hasMorePages(const std::optional<Meta> &meta)
{
    return meta && meta->hasMore.value_or(false);
}

bool isNearEnd(const QList<BbsPost> &posts, const QString &did)
{
    for (qsizetype i = 0; i < posts.size(); ++i) {
        if (posts.at(i).did == did)
            return i >= posts.size() - 3;
    }
    return false;
}

QString likeAction(bool liked)
{
    return liked ? QStringLiteral("unlike") : QStringLiteral("like");
}

LinkAction linkAction(const QString &link)
{
    const QUrl url(link.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return LinkAction::Ignore;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"magnet" || scheme == u"thunder" || isWebAddress(url))
        return LinkAction::Open;
    return LinkAction::Ignore;
}

std::optional<QUrl> mediaUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!isWebAddress(url))
        return std::nullopt;
    return url;
}

}
