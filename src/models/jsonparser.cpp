#include "models/jsonparser.h"

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tovra::json {

namespace {

// QJsonDocument gives up at the same depth.
constexpr int kMaxDepth = 1024;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}

std::optional<qint64> Number::asInteger() const
{
    if (isInteger)
        return integer;
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (value >= -kTwoTo63 && value < kTwoTo63 && std::trunc(value) == value)
        return static_cast<qint64>(value);
    return std::nullopt;
}

bool isValidUtf8(const char *begin, const char *end)
{
    const auto *p = reinterpret_cast<const unsigned char *>(begin);
    const auto *e = reinterpret_cast<const unsigned char *>(end);
    while (p < e) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int continuation = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            continuation = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            continuation = 2;
            if (c == 0xE0)
                low = 0xA0;  // overlong
            else if (c == 0xED)
                high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            continuation = 3;
            if (c == 0xF0)
                low = 0x90;  // overlong
            else if (c == 0xF4)
                high = 0x8F;  // beyond U+10FFFF
        } else {
            return false;
        }
        if (e - p <= continuation)
            return false;
        if (p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i <= continuation; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += continuation + 1;
    }
    return true;
}

Parser::Parser(QByteArrayView json)
    : m_begin(json.data()), m_p(json.data()), m_end(json.data() + json.size())
{
    if (m_end - m_p >= 3 && m_p[0] == '\xEF' && m_p[1] == '\xBB' && m_p[2] == '\xBF')
        m_p += 3;
}

QString Parser::errorText() const
{
    return u"不是有效的 JSON（%1，偏移 %2）"_s.arg(QString::fromUtf8(m_errorReason ? m_errorReason : ""))
        .arg(m_errorOffset);
}

bool Parser::fail(const char *reason)
{
    if (!m_failed) {
        m_failed = true;
        m_errorReason = reason;
        m_errorOffset = m_p - m_begin;
    }
    return false;
}

void Parser::rewind(const Mark &mark)
{
    m_p = mark.at;
    m_depth = mark.depth;
    m_first = mark.first;
}

void Parser::skipSpace()
{
    while (m_p < m_end && isSpace(*m_p))
        ++m_p;
}

Parser::Kind Parser::peek()
{
    if (m_failed)
        return Kind::Invalid;
    skipSpace();
    if (m_p == m_end) {
        fail("文档意外结束");
        return Kind::Invalid;
    }
    switch (*m_p) {
    case '{': return Kind::Object;
    case '[': return Kind::Array;
    case '"': return Kind::String;
    case 't':
    case 'f': return Kind::Bool;
    case 'n': return Kind::Null;
    case '-':
    case '.':
        return Kind::Number;
    default:
        if (isDigit(*m_p))
            return Kind::Number;
        fail("意外的字符");
        return Kind::Invalid;
    }
}

bool Parser::readLiteral(const char *word, qsizetype size)
{
    if (m_end - m_p < size || std::memcmp(m_p, word, size) != 0)
        return fail("无效的值");
    m_p += size;
    return true;
}

bool Parser::readNull()
{
    if (peek() != Kind::Null)
        return fail("应为 null");
    return readLiteral("null", 4);
}

bool Parser::readBool(bool &out)
{
    if (peek() != Kind::Bool)
        return fail("应为布尔值");
    out = *m_p == 't';
    return out ? readLiteral("true", 4) : readLiteral("false", 5);
}

bool Parser::readNumber(Number &out)
{
    if (peek() != Kind::Number)
        return fail("应为数字");
    // The grammar QJsonDocument scans: minus, "0" or digits, optional point with optional
    // digits, optional exponent. What it then cannot convert is an illegal number there too.
    const char *start = m_p;
    bool integral = true;
    if (m_p < m_end && *m_p == '-')
        ++m_p;
    if (m_p < m_end && *m_p == '0') {
        ++m_p;
    } else {
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
    }
    if (m_p < m_end && *m_p == '.') {
        integral = false;
        ++m_p;
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
    }
    if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
        integral = false;
        ++m_p;
        if (m_p < m_end && (*m_p == '-' || *m_p == '+'))
            ++m_p;
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
    }
    if (integral) {
        qint64 value = 0;
        const auto [end, ec] = std::from_chars(start, m_p, value);
        if (ec == std::errc() && end == m_p) {
            out = {true, value, double(value)};
            return true;
        }
        // Beyond 64 bits: read as a double below, like QJsonDocument does.
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(start, m_p, value);
    if (ec != std::errc() || end != m_p || !std::isfinite(value)) {
        m_p = start;
        return fail("无效的数字");
    }
    out = {false, 0, value};
    return true;
}

bool Parser::skipNumber()
{
    Number ignored;
    return readNumber(ignored);
}

bool Parser::scanString(const char *&begin, const char *&end, bool &escaped, bool &ascii)
{
    // At the opening quote. The text between escapes must be valid UTF-8; the byte right after
    // a backslash is not part of it (QJsonDocument takes an unknown escaped byte as Latin-1).
    begin = ++m_p;
    escaped = false;
    ascii = true;
    const char *run = begin;
    unsigned char runHigh = 0;
    auto runIsValid = [&](const char *runEnd) {
        if (runHigh < 0x80)
            return true;
        ascii = false;
        return isValidUtf8(run, runEnd);
    };
    const char *p = begin;
    while (p < m_end) {
        const char c = *p;
        if (c == '"')
            break;
        if (c != '\\') {
            runHigh |= static_cast<unsigned char>(c);
            ++p;
            continue;
        }
        escaped = true;
        if (!runIsValid(p)) {
            m_p = run;
            return fail("无效的 UTF-8 文本");
        }
        if (m_end - p > 1 && p[1] == 'u') {
            for (int i = 2; i < 6; ++i) {
                if (m_end - p <= i || hexValue(p[i]) < 0) {
                    m_p = p;
                    return fail("无效的转义");
                }
            }
            p += 6;
        } else {
            p += 2;
        }
        run = p;
        runHigh = 0;
    }
    if (p >= m_end) {
        m_p = m_end;
        return fail("文本未结束");
    }
    if (!runIsValid(p)) {
        m_p = run;
        return fail("无效的 UTF-8 文本");
    }
    end = p;
    m_p = p + 1;
    return true;
}

bool Parser::decodeEscaped(const char *begin, const char *end, QString &out)
{
    out.clear();
    out.reserve(end - begin);
    const char *run = begin;
    const char *p = begin;
    auto flush = [&] {
        if (p > run)
            out += QString::fromUtf8(run, p - run);
    };
    while (p < end) {
        if (*p != '\\') {
            ++p;
            continue;
        }
        flush();
        const char c = p[1];
        p += 2;
        switch (c) {
        case 'b': out += u'\b'; break;
        case 'f': out += u'\f'; break;
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'u': {
            // Four hex digits, checked by the scan. Each escape is one UTF-16 unit, so the two
            // halves of a pair join by themselves; a half pair is kept as it stands, as
            // QJsonDocument keeps it.
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i)
                unit = char16_t(unit * 16 + hexValue(p[i]));
            p += 4;
            out += QChar(unit);
            break;
        }
        default:
            // '"', '\\', '/' and, as QJsonDocument does, any other byte stand for themselves,
            // read as Latin-1.
            out += QLatin1Char(c);
            break;
        }
        run = p;
    }
    flush();
    return true;
}

bool Parser::readString(QString &out)
{
    if (peek() != Kind::String)
        return fail("应为文本");
    const char *begin = nullptr;
    const char *end = nullptr;
    bool escaped = false;
    bool ascii = true;
    if (!scanString(begin, end, escaped, ascii))
        return false;
    if (escaped)
        return decodeEscaped(begin, end, out);
    out = ascii ? QString::fromLatin1(begin, end - begin) : QString::fromUtf8(begin, end - begin);
    return true;
}

bool Parser::readKey(QByteArrayView &key)
{
    const char *begin = nullptr;
    const char *end = nullptr;
    bool escaped = false;
    bool ascii = true;
    if (!scanString(begin, end, escaped, ascii))
        return false;
    if (!escaped) {
        key = QByteArrayView(begin, end - begin);
        return true;
    }
    // Rare: compare escaped names by their decoded UTF-8.
    QString decoded;
    if (!decodeEscaped(begin, end, decoded))
        return false;
    m_keyBuffer = decoded.toUtf8();
    key = QByteArrayView(m_keyBuffer);
    return true;
}

bool Parser::enter()
{
    if (++m_depth > kMaxDepth)
        return fail("嵌套过深");
    ++m_p;
    m_first = true;
    return true;
}

bool Parser::beginObject()
{
    if (peek() != Kind::Object)
        return fail("应为对象");
    return enter();
}

bool Parser::beginArray()
{
    if (peek() != Kind::Array)
        return fail("应为数组");
    return enter();
}

bool Parser::nextMember(QByteArrayView &key)
{
    if (m_failed)
        return false;
    skipSpace();
    if (m_p == m_end)
        return fail("文档意外结束");
    if (*m_p == '}' && m_first) {
        ++m_p;
        --m_depth;
        m_first = false;
        return false;
    }
    if (!m_first) {
        if (*m_p == '}') {
            ++m_p;
            --m_depth;
            return false;
        }
        if (*m_p != ',')
            return fail("缺少逗号");
        ++m_p;
        skipSpace();
    }
    if (m_p == m_end || *m_p != '"')
        return fail("缺少成员名");
    if (!readKey(key))
        return false;
    skipSpace();
    if (m_p == m_end || *m_p != ':')
        return fail("缺少冒号");
    ++m_p;
    m_first = false;
    return true;
}

bool Parser::nextElement()
{
    if (m_failed)
        return false;
    skipSpace();
    if (m_p == m_end)
        return fail("文档意外结束");
    if (*m_p == ']') {
        ++m_p;
        --m_depth;
        m_first = false;
        return false;
    }
    if (!m_first) {
        if (*m_p != ',')
            return fail("缺少逗号");
        ++m_p;
        skipSpace();
        if (m_p < m_end && *m_p == ']')
            return fail("逗号后缺少值");
    }
    m_first = false;
    return true;
}

bool Parser::skipValue()
{
    switch (peek()) {
    case Kind::Null:
        return readLiteral("null", 4);
    case Kind::Bool: {
        bool ignored = false;
        return readBool(ignored);
    }
    case Kind::Number:
        return skipNumber();
    case Kind::String: {
        const char *begin = nullptr;
        const char *end = nullptr;
        bool escaped = false;
        bool ascii = true;
        return scanString(begin, end, escaped, ascii);
    }
    case Kind::Object: {
        if (!beginObject())
            return false;
        QByteArrayView key;
        while (nextMember(key)) {
            if (!skipValue())
                return false;
        }
        return !m_failed;
    }
    case Kind::Array:
        if (!beginArray())
            return false;
        while (nextElement()) {
            if (!skipValue())
                return false;
        }
        return !m_failed;
    case Kind::Invalid:
        break;
    }
    return false;
}

bool Parser::finish()
{
    if (m_failed)
        return false;
    skipSpace();
    if (m_p != m_end)
        return fail("文档末尾有多余内容");
    return true;
}

}
