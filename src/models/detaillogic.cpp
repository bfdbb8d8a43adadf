#include "models/detaillogic.h"

#include "models/decoding.h"
#include "models/htmltext.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace tovra::titlepage {

void SortState::toggle(TorrentSort pressed)
{
    if (pressed == TorrentSort::size) {
        sizeAscending = mode == TorrentSort::size ? !sizeAscending : false;
        mode = TorrentSort::size;
    } else {
        mode = mode == TorrentSort::episode ? std::nullopt : std::optional(TorrentSort::episode);
        sizeAscending = false;
    }
}

double parseSize(const std::optional<QString> &size)
{
    if (!size)
        return 0;
    static const QRegularExpression pattern(
        QStringLiteral("([0-9.]+)\\s*([KMGT]?B)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = pattern.match(*size);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const double number = match.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return 0;
    const QString unit = match.captured(2).toUpper();
    double multiplier = 1;
    if (unit == QLatin1String("KB"))
        multiplier = 1024.0;
    else if (unit == QLatin1String("MB"))
        multiplier = 1048576.0;
    else if (unit == QLatin1String("GB"))
        multiplier = 1073741824.0;
    else if (unit == QLatin1String("TB"))
        multiplier = 1099511627776.0;
    return number * multiplier;
}

namespace {
QList<QStringView> digitRuns(QStringView text)
{
    QList<QStringView> runs;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool digit = i < text.size() && text[i] >= u'0' && text[i] <= u'9';
        if (digit && start < 0)
            start = i;
        else if (!digit && start >= 0) {
            runs.append(text.mid(start, i - start));
            start = -1;
        }
    }
    return runs;
}
}

EpisodeKey parseEpisode(const QString &name)
{
    static const QRegularExpression complete(QStringLiteral("全\\s*[0-9]+\\s*集"),
                                             QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression single(QStringLiteral("第\\s*[0-9]+\\s*(?:[-–—~～]\\s*[0-9]+\\s*)?集"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    if (const auto match = complete.match(name); match.hasMatch()) {
        QString digits;
        for (const QStringView run : digitRuns(match.capturedView()))
            digits += run;
        bool ok = false;
        const qint64 count = digits.toLongLong(&ok);
        return {2, ok ? count : 0};
    }
    if (const auto match = single.match(name); match.hasMatch()) {
        qint64 last = 0;
        for (const QStringView run : digitRuns(match.capturedView())) {
            bool ok = false;
            const qint64 value = run.toLongLong(&ok);
            if (ok)
                last = value;
        }
        return {1, last};
    }
    return {0, -1};
}

QList<Torrent> sorted(const QList<Torrent> &torrents, const SortState &state)
{
    if (!state.mode)
        return torrents;
    // Keys are worked out once; the stable sort keeps server order between equal keys.
    QList<qsizetype> order(torrents.size());
    std::iota(order.begin(), order.end(), 0);
    if (*state.mode == TorrentSort::size) {
        QList<double> sizes;
        for (const Torrent &t : torrents)
            sizes.append(parseSize(t.size));
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            return state.sizeAscending ? sizes[a] < sizes[b] : sizes[a] > sizes[b];
        });
    } else {
        QList<EpisodeKey> keys;
        for (const Torrent &t : torrents)
            keys.append(parseEpisode(t.name));
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            if (keys[a].kind != keys[b].kind)
                return keys[a].kind > keys[b].kind;
            return keys[a].episode > keys[b].episode;
        });
    }
    QList<Torrent> out;
    out.reserve(torrents.size());
    for (qsizetype i : order)
        out.append(torrents[i]);
    return out;
}

bool isMember(const std::optional<User> &user)
{
    return user && user->isVip;
}

bool needsMembership(const Torrent &torrent, bool member)
{
    return torrent.price != 0 && !member;
}

bool showsPrice(const Torrent &torrent, bool member)
{
    return torrent.price >= 1 && !member;
}

bool showsPaidHint(const QList<Torrent> &torrents, bool member)
{
    return !member && std::any_of(torrents.begin(), torrents.end(), [](const Torrent &t) { return t.price >= 1; });
}

QString membershipMessage(qint64 price)
{
    return QStringLiteral("这个种子需要 %1 BT币，开通尊享会员后可以直接下载，不再单独扣币。").arg(price);
}

bool copyEnabled(const std::optional<QString> &label)
{
    return !label || (*label != kCopying && *label != kCopied);
}

QString explain(const QString &param)
{
    if (param == QLatin1String("star"))
        return QStringLiteral("主演的影片");
    if (param == QLatin1String("director"))
        return QStringLiteral("导演的影片");
    if (param == QLatin1String("country"))
        return QStringLiteral("地区的影片");
    if (param == QLatin1String("tag"))
        return QStringLiteral("类型的影片");
    return QStringLiteral("的影片");
}

FilterRequest linkFilter(const QString &param, const QString &value)
{
    return {value + explain(param), {{param, value}}};
}

FilterRequest yearFilter(const QString &year)
{
    return {year + QStringLiteral("年上映的影片"), {{QStringLiteral("showtime"), year}}};
}

std::optional<QString> year(const std::optional<QString> &showdate)
{
    if (!showdate)
        return std::nullopt;
    // Characters as a reader counts them: a digit with a combining mark is still one.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, *showdate);
    qsizetype start = 0;
    for (int n = 0; n < 4; ++n) {
        const qsizetype end = finder.toNextBoundary();
        if (end < 0)
            return std::nullopt;
        const char32_t first = QStringView(*showdate).mid(start, end - start).toUcs4().value(0);
        if (!QChar::isNumber(first))
            return std::nullopt;
        start = end;
    }
    return showdate->left(start);
}

QStringList linkValues(const QStringList &values)
{
    QStringList out;
    for (const QString &v : values) {
        if (!v.isEmpty())
            out.append(v);
    }
    return out;
}

QString plainText(const QString &html)
{
    QString text = htmltext::lineBreakTagsToNewlines(html);
    text.replace(QStringLiteral("</p>"), QStringLiteral("\n"));
    text = htmltext::stripTags(text);
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    // &amp; goes first on purpose: "&amp;lt;" ends up as "<", as the site's pages show it.
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    return text.trimmed();
}

std::optional<QString> scoreText(const std::optional<QString> &score)
{
    if (!score)
        return std::nullopt;
    // A whole decimal number, nothing around it; no "inf" or "nan" sneaks through.
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?$"));
    if (!decimal.match(*score).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = score->toDouble(&ok);
    if (!ok || !std::isfinite(value) || !(value > 1))
        return std::nullopt;
    return json::oneDecimalText(value);
}

QString playButtonText(qint64 entryCount, qint64 episode)
{
    return entryCount < 2 ? QStringLiteral("播放") : QStringLiteral("第 %1 集").arg(episode);
}

QString playTitle(const QString &title, qint64 entryCount, qint64 episode)
{
    return entryCount < 2 ? title : title + QStringLiteral(" 第%1集").arg(episode);
}

}
