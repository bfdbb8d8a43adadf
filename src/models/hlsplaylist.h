#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// Reading an HLS master playlist into the quality choices the player offers.
namespace tovra::hls {

// One quality choice: a name by resolution class ("1080p", "720p", ...) or by bit rate
// ("800kbps"), the variant's peak bandwidth in bits per second, and the variant's own playlist
// address as written in the master (relative or absolute; empty when the line had none). Two
// choices are the same choice when label and bandwidth agree; the address does not count.
struct Variant
{
    QString label;
    qint64 bandwidth = 0;
    QString uri;

    friend bool operator==(const Variant &a, const Variant &b)
    {
        return a.label == b.label && a.bandwidth == b.bandwidth;
    }
};

// An integer as a playlist writes one: an optional sign, then decimal digits only, within 64
// bits. Anything else (blanks, hex, fractions, overflow) is no number.
std::optional<qint64> decimalInteger(QStringView text);

// The name of a variant from its attribute list (the text after "#EXT-X-STREAM-INF:") and its
// bandwidth: the resolution class of its width when RESOLUTION gives a readable one, else the
// bandwidth in kbps.
QString qualityLabel(QStringView attributes, qint64 bandwidth);

// The variants of a master playlist: one per label (the first in playlist order wins), highest
// bandwidth first, equal bandwidths in playlist order. Lines that are not variant lines or
// whose BANDWIDTH is missing, unreadable or below 1 are skipped one by one; a media playlist
// gives an empty list.
QList<Variant> parseVariants(QStringView playlist);

// As parseVariants() for the bytes of a reply; none when they are not UTF-8.
std::optional<QList<Variant>> parseVariants(const QByteArray &bytes);

}
