#include "models/hlsplaylist.h"

#include <QStringDecoder>

#include <algorithm>

namespace tovra::hls {

namespace {

constexpr QStringView kStreamInf = u"#EXT-X-STREAM-INF:";

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isLineBreak(text[i])) {
            lines.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

// The value of BANDWIDTH where the name starts the list or follows a comma, so that
// AVERAGE-BANDWIDTH is never taken for it.
std::optional<QStringView> bandwidthValue(QStringView attributes)
{
    constexpr QStringView name = u"BANDWIDTH=";
    qsizetype from = 0;
    while (true) {
        const qsizetype at = attributes.indexOf(name, from);
        if (at < 0)
            return std::nullopt;
        if (at == 0 || attributes[at - 1] == u',') {
            QStringView rest = attributes.sliced(at + name.size());
            const qsizetype comma = rest.indexOf(u',');
            return comma < 0 ? rest : rest.first(comma);
        }
        from = at + 1;
    }
}

}

std::optional<qint64> decimalInteger(QStringView text)
{
    QStringView digits = text;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-'))
        digits = digits.sliced(1);
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString qualityLabel(QStringView attributes, qint64 bandwidth)
{
    QString label = QString::number(bandwidth / 1000) + QStringLiteral("kbps");
    constexpr QStringView name = u"RESOLUTION=";
    const qsizetype at = attributes.indexOf(name);
    if (at < 0)
        return label;
    QStringView value = attributes.sliced(at + name.size());
    if (const qsizetype comma = value.indexOf(u','); comma >= 0)
        value = value.first(comma);
    // Split at lower-case "x" only, dropping empty pieces: the first piece is the width.
    QStringView first;
    for (QStringView piece : value.split(u'x', Qt::SkipEmptyParts)) {
        first = piece;
        break;
    }
    const auto width = decimalInteger(first);
    if (!width)
        return label;
    if (*width >= 3000)
        return QStringLiteral("4K");
    if (*width >= 1800)
        return QStringLiteral("1080p");
    if (*width >= 1200)
        return QStringLiteral("720p");
    if (*width >= 900)
        return QStringLiteral("576p");
    return QStringLiteral("480p");
}

QList<Variant> parseVariants(QStringView playlist)
{
    QList<Variant> variants;
    const QList<QStringView> lines = splitLines(playlist);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = lines[i];
        if (!line.startsWith(kStreamInf))
            continue;
        const QStringView attributes = line.sliced(kStreamInf.size());
        const auto value = bandwidthValue(attributes);
        const auto bandwidth = value ? decimalInteger(*value) : std::nullopt;
        if (!bandwidth || *bandwidth < 1)
            continue;
        Variant variant{qualityLabel(attributes, *bandwidth), *bandwidth, {}};
        const bool known = std::any_of(variants.cbegin(), variants.cend(),
                                       [&](const Variant &v) { return v.label == variant.label; });
        if (known)
            continue;
        // The variant's playlist is the next line that is neither blank nor a tag or comment;
        // another variant line first means this one named none.
        for (qsizetype j = i + 1; j < lines.size(); ++j) {
            const QStringView next = lines[j].trimmed();
            if (next.startsWith(kStreamInf))
                break;
            if (next.isEmpty() || next.startsWith(u'#'))
                continue;
            variant.uri = next.toString();
            break;
        }
        variants.append(std::move(variant));
    }
    std::stable_sort(variants.begin(), variants.end(),
                     [](const Variant &a, const Variant &b) { return a.bandwidth > b.bandwidth; });
    return variants;
}

std::optional<QList<Variant>> parseVariants(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return parseVariants(QStringView(text));
}

}
