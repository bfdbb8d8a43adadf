#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tovra::json {

// A JSON number as written: literals without fraction or exponent that fit in 64 bits stay exact
// integers, everything else is a double.
struct Number
{
    bool isInteger = false;
    qint64 integer = 0;
    double value = 0.0;

    // The integral value within the signed 64-bit range, for integers written either way
    // ("123" and "123.0"); nothing for fractions and for values beyond 64 bits.
    std::optional<qint64> asInteger() const;
};

// Pull parser over the UTF-8 bytes of one JSON document. Record readers walk it value by value
// and turn what they need straight into records, so a reply is scanned once and no document
// tree is built in between.
//
// It accepts what QJsonDocument accepts (a leading byte-order mark, raw control characters
// inside strings, unknown escapes taken literally) and rejects what it rejects (invalid UTF-8,
// numbers out of double range, more than 1024 levels of nesting, trailing garbage), so a reply
// reads the same whichever way it came in.
class Parser
{
public:
    enum class Kind { Null, Bool, Number, String, Array, Object, Invalid };

    explicit Parser(QByteArrayView json);

    // Whitespace, then the kind of the next value, which stays unread. Invalid sets the error.
    Kind peek();

    // Each of these reads the next value, which must be of its kind (check with peek first);
    // false means the document is broken and the error is set.
    bool readNull();
    bool readBool(bool &out);
    bool readNumber(Number &out);
    bool readString(QString &out);
    bool skipValue();

    // Containers: begin*, then next* until it answers false at the closing bracket.
    bool beginObject();
    bool nextMember(QByteArrayView &key);
    bool beginArray();
    bool nextElement();

    // After the top-level value: only whitespace may follow.
    bool finish();

    bool failed() const { return m_failed; }
    // "不是有效的 JSON（reason，偏移 n）"
    QString errorText() const;

    // Where the parser stands, to go back and skip a value that a forgiving field could not use.
    struct Mark
    {
        const char *at;
        int depth;
        bool first;
    };
    Mark mark() const { return {m_p, m_depth, m_first}; }
    void rewind(const Mark &mark);

private:
    bool fail(const char *reason);
    void skipSpace();
    bool enter();
    bool readKey(QByteArrayView &key);
    bool scanString(const char *&begin, const char *&end, bool &escaped, bool &ascii);
    bool decodeEscaped(const char *begin, const char *end, QString &out);
    bool readLiteral(const char *word, qsizetype size);
    bool skipNumber();

    const char *m_begin;
    const char *m_p;
    const char *m_end;
    int m_depth = 0;
    // Whether the container just opened has had no member or element yet.
    bool m_first = false;
    bool m_failed = false;
    const char *m_errorReason = nullptr;
    qsizetype m_errorOffset = 0;
    QByteArray m_keyBuffer;
};

// Strict UTF-8 as JSON text needs it: no overlong forms, no encoded surrogates, nothing past
// U+10FFFF.
bool isValidUtf8(const char *begin, const char *end);

}
