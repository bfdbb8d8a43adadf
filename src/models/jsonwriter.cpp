#include "models/jsonwriter.h"

#include <charconv>
#include <cmath>

namespace tovra::json {

namespace {

void appendEscaped(QByteArray &out, const QString &text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xf];
            } else {
                out += c;
            }
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
