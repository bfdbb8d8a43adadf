#pragma once

#include "models/account.h"
#include "models/title.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>

// The decisions of the title page that need no widget: the torrent orders and their parsers,
// the paid-torrent rule, the filters that metadata links open, and the texts built from data.
namespace tovra::titlepage {

// ---- Torrent orders ---------------------------------------------------------------------------

enum class TorrentSort { episode, size };

// The order of the torrent list. No mode is the server's order; the size order starts
// descending, and only a second press of the size button turns it.
struct SortState
{
    std::optional<TorrentSort> mode;
    bool sizeAscending = false;

    void toggle(TorrentSort pressed);
    friend bool operator==(const SortState &, const SortState &) = default;
};

// Bytes of a size as the server words it ("1.5 GB", "700mb"); 0 when it cannot be read.
double parseSize(const std::optional<QString> &size);

// kind 2: a complete series ("全24集"); kind 1: one episode or a range ("第3集", "第1-5集", by its
// last episode); kind 0: neither, with episode -1.
struct EpisodeKey
{
    int kind = 0;
    qint64 episode = -1;
    friend bool operator==(const EpisodeKey &, const EpisodeKey &) = default;
};
EpisodeKey parseEpisode(const QString &name);

// A new list in the state's order; ties keep the server's order.
QList<Torrent> sorted(const QList<Torrent> &torrents, const SortState &state);

// ---- Membership -------------------------------------------------------------------------------

// Signed out counts as not a member.
bool isMember(const std::optional<User> &user);
// Opening this torrent raises the membership alert instead of the resource page. Any price
// other than 0 counts, a negative one included.
bool needsMembership(const Torrent &torrent, bool member);
// The card shows its price instead of the copy button.
bool showsPrice(const Torrent &torrent, bool member);
// The section header's "付费种子需开通尊享会员".
bool showsPaidHint(const QList<Torrent> &torrents, bool member);
QString membershipMessage(qint64 price);

// ---- Copy status ------------------------------------------------------------------------------

inline const QString kCopying = QStringLiteral("复制中…");
inline const QString kCopied = QStringLiteral("复制成功");
inline const QString kCopyFailed = QStringLiteral("复制失败");
inline constexpr int kCopyFailedMs = 2000;
// The copy button takes no press while its request runs or after it succeeded.
bool copyEnabled(const std::optional<QString> &label);

// ---- Metadata links ---------------------------------------------------------------------------

// What a metadata link opens: the filtered list's page title and its query.
struct FilterRequest
{
    QString title;
    QMap<QString, QString> params;
    friend bool operator==(const FilterRequest &, const FilterRequest &) = default;
};

// The page-title suffix for a filter parameter: "star" gives "主演的影片", unknown ones "的影片".
QString explain(const QString &param);
FilterRequest linkFilter(const QString &param, const QString &value);
// The release row's link: the year alone is the filter.
FilterRequest yearFilter(const QString &year);
// The first four characters of a release date when all are numbers.
std::optional<QString> year(const std::optional<QString> &showdate);

// The values a link row shows; none left means the row is absent.
QStringList linkValues(const QStringList &values);

// ---- Texts ------------------------------------------------------------------------------------

// The introduction's HTML fragment as plain text: line breaks kept, tags dropped, five entities
// decoded.
QString plainText(const QString &html);
// The score row's text ("7.6"), or none when the score is missing, not a plain decimal number,
// or not above 1.
std::optional<QString> scoreText(const std::optional<QString> &score);

// A play button: "播放" for a single entry, else "第 N 集".
QString playButtonText(qint64 entryCount, qint64 episode);
// The title the player shows: the bare title for a single entry, else "X 第3集".
QString playTitle(const QString &title, qint64 entryCount, qint64 episode);

}
