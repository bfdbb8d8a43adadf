#pragma once

#include "models/apiresponse.h"
#include "models/community.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

namespace tovra::community {

// One chip of the board's filter bar: the query value sent as "filter" (empty: all posts) and
// its label.
struct FilterEntry
{
    QString value;
    QString label;
};
const QList<FilterEntry> &filters();

// Text shown when the first page came back empty.
QString emptyText();

// The list a reset shows. A repeated did would give two slides one identity in the feed, so
// only its first occurrence is kept.
QList<BbsPost> distinctPosts(QList<BbsPost> posts);
// The posts of an appended page that are not shown yet, in reply order (repeats within the
// page dropped as well).
QList<BbsPost> newPosts(const QList<BbsPost> &shown, const QList<BbsPost> &page);

// More pages exist only when the reply said so; a reply without paging ends the feed.
bool hasMorePages(const std::optional<Meta> &meta);
// Whether bringing did into view should fetch the next page: it is one of the last three.
bool isNearEnd(const QList<BbsPost> &posts, const QString &did);

// "unlike" for a liked post, "like" otherwise.
QString likeAction(bool liked);

// What a torrent row does with its link: magnet and Thunder links and web addresses with a host
// go to the system (a torrent client, Thunder or the browser claims them); anything else is
// ignored, so no server text reaches a local file or an unknown handler.
enum class LinkAction { Open, Ignore };
LinkAction linkAction(const QString &link);

// An address from a post that may be fetched or played: http or https with a host.
std::optional<QUrl> mediaUrl(const QString &text);

}
