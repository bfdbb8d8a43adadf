#include "models/htmltext.h"

#include <algorithm>

namespace tovra::htmltext {

QString stripTags(QStringView text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'<', i);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u'>', open + 1);
        // Without any ">" further on, no later "<" can close either.
        if (close < 0)
            break;
        if (close == open + 1) {
            out += text.sliced(i, close - i);
            i = close;
            continue;
        }
        out += text.sliced(i, open - i);
        i = close + 1;
    }
    out += text.sliced(i);
    return out;
}

QString imagesToAltText(QStringView text)
{
    static constexpr QStringView kImage = u"<img";
    static constexpr QStringView kAlt = u"alt=\"";
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0; // text before this is in out
    qsizetype from = 0;   // where the next "<img" may start
    while (true) {
        const qsizetype start = text.indexOf(kImage, from);
        if (start < 0)
            break;
        const qsizetype attributes = start + kImage.size();
        const qsizetype firstClose = text.indexOf(u'>', attributes);
        if (firstClose < 0)
            break;
        // The alt=" may only sit before the tag's first ">"; of several, the last one is tried
        // first, and an earlier one always succeeds because its value then ends at the quote of
        // the later one.
        const QStringView head = text.sliced(attributes, firstClose - attributes);
        qsizetype alt = head.lastIndexOf(kAlt);
        qsizetype valueEnd = -1;
        qsizetype end = -1;
        while (alt >= 0) {
            const qsizetype value = attributes + alt + kAlt.size();
            valueEnd = text.indexOf(u'"', value);
            if (valueEnd >= 0)
                end = valueEnd < firstClose ? firstClose : text.indexOf(u'>', valueEnd + 1);
            if (valueEnd >= 0 && end >= 0) {
                out += text.sliced(copied, start - copied);
                out += u'[';
                out += text.sliced(value, valueEnd - value);
                out += u']';
                break;
            }
            alt = alt > 0 ? head.first(alt).lastIndexOf(kAlt) : -1;
            end = -1;
        }
        if (end < 0) {
            // No image tag can start and end inside this one either.
            from = firstClose + 1;
            continue;
        }
        copied = from = end + 1;
    }
    out += text.sliced(copied);
    return out;
}

namespace {
// What the regular expression "\s" matches with Unicode properties: the separators, the
// horizontal and vertical white space. All of them are in the basic plane.
bool isWhiteSpace(char16_t c)
{
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
    case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return (c >= 0x2000 && c <= 0x200A) || QChar::category(c) == QChar::Separator_Space;
    }
}
}

QString lineBreakTagsToNewlines(QStringView text)
{
    static constexpr QStringView kBreak = u"<br";
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;
    qsizetype from = 0;
    while (true) {
        const qsizetype start = text.indexOf(kBreak, from);
        if (start < 0)
            break;
        qsizetype at = start + kBreak.size();
        while (at < text.size() && isWhiteSpace(text[at].unicode()))
            ++at;
        if (at < text.size() && text[at] == u'/')
            ++at;
        if (at < text.size() && text[at] == u'>') {
            out += text.sliced(copied, start - copied);
            out += u'\n';
            copied = from = at + 1;
        } else {
            // The white space skipped holds no "<", so no tag starts inside it.
            from = std::max(at, start + 1);
        }
    }
    out += text.sliced(copied);
    return out;
}

}
