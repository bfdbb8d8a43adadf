#include "models/jsonwriter.h"

#include <charconv>
#include <cmath>

namespace tovra::json {

namespace {

void appendUnicodeEscape(QByteArray &out, char16_t unit)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    out += kHex[(unit >> 12) & 0xf];
    out += kHex[(unit >> 8) & 0xf];
    out += kHex[(unit >> 4) & 0xf];
    out += kHex[unit & 0xf];
}

// A lone surrogate has no UTF-8 form; toUtf8() would turn it into U+FFFD and the entry would read
// back different from what was decoded. As a \u escape it reads back as the same unit.
void appendEscaped(QByteArray &out, const QString &text)
{
    out += '"';
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        switch (unit) {
        case u'"': out += "\\\""; continue;
        case u'\\': out += "\\\\"; continue;
        case u'\b': out += "\\b"; continue;
        case u'\f': out += "\\f"; continue;
        case u'\n': out += "\\n"; continue;
        case u'\r': out += "\\r"; continue;
        case u'\t': out += "\\t"; continue;
        default: break;
        }
        if (unit < 0x20) {
            appendUnicodeEscape(out, unit);
        } else if (unit < 0x80) {
            out += char(unit);
        } else if (unit < 0x800) {
            out += char(0xC0 | (unit >> 6));
            out += char(0x80 | (unit & 0x3F));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
            const char32_t c = QChar::surrogateToUcs4(unit, text[++i].unicode());
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else if (QChar::isSurrogate(unit)) {
            appendUnicodeEscape(out, unit);
        } else {
            out += char(0xE0 | (unit >> 12));
            out += char(0x80 | ((unit >> 6) & 0x3F));
            out += char(0x80 | (unit & 0x3F));
        }
    }
    out += '"';
}

}

void Writer::separate()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasValue.isEmpty()) {
        if (m_hasValue.last())
            m_out += ',';
        m_hasValue.last() = true;
    }
}

void Writer::beginObject()
{
    separate();
    m_out += '{';
    m_hasValue.append(false);
}

void Writer::endObject()
{
    m_out += '}';
    m_hasValue.removeLast();
}

void Writer::beginArray()
{
    separate();
    m_out += '[';
    m_hasValue.append(false);
}

void Writer::endArray()
{
    m_out += ']';
    m_hasValue.removeLast();
}

void Writer::key(QLatin1StringView name)
{
    separate();
    appendEscaped(m_out, QString(name));
    m_out += ':';
    m_afterKey = true;
}

void Writer::value(const QString &text)
{
    separate();
    appendEscaped(m_out, text);
}

void Writer::value(qint64 number)
{
    separate();
    m_out += QByteArray::number(number);
}

void Writer::value(bool flag)
{
    separate();
    m_out += flag ? "true" : "false";
}

void Writer::value(double number)
{
    separate();
    if (!std::isfinite(number)) {
        m_out += "null";
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    m_out.append(buffer, result.ptr - buffer);
}

void Writer::value(const QStringList &texts)
{
    beginArray();
    for (const QString &text : texts)
        value(text);
    endArray();
}

}
