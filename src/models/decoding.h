#pragma once

#include "models/jsonparser.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

#include <cmath>
#include <concepts>
#include <cstring>
#include <expected>
#include <optional>
#include <type_traits>
#include <utility>

// How API records are read. Every record is read from JSON text by one pull parser
// (jsonparser.h) that walks the bytes once and fills the record as members come; no document
// tree is built in between, which keeps reading a large list reply cheaper than QJsonDocument's
// parse alone. A value that is already parsed (QJsonValue) is written back to compact JSON and
// read the same way, so there is a single set of reading rules.

namespace tovra {

// Why a reply or cache entry could not be read. The description is shown to users after
// "数据解析失败：", so it is Chinese and names where in the document reading stopped.
struct DecodeError
{
    QString description;
};

template<class T>
using Decoded = std::expected<T, DecodeError>;

namespace json {

// ---- Failures ---------------------------------------------------------------------------------

DecodeError missingValue();
DecodeError wrongType(QStringView expected, Parser::Kind actual);
DecodeError notAnInteger(const Number &number);
DecodeError documentNotObject();
// The parser's own failure: broken JSON is reported as such, without a member path.
DecodeError syntaxError(const Parser &parser);

// Add the member name or array position that a failure happened under. Callers wrap from the
// inside out, so the final text reads like "……（位置：data[3].name）".
DecodeError atKey(DecodeError error, QStringView key);
DecodeError atKey(DecodeError error, QLatin1StringView key);
DecodeError atIndex(DecodeError error, qsizetype index);

// ---- Number texts -----------------------------------------------------------------------------

// The shortest text that reads back as the same double: plain decimals from 1e-4 up to 2^54,
// exponent form outside that ("1e-05", "1e+17"), integral values keeping one fractional digit
// ("8.0").
QString doubleText(double value);

// C's "%.1f": one digit after the point, rounded the way printf rounds.
QString oneDecimalText(double value);

// A whole signed decimal: optional single "+" or "-", then ASCII digits only, within 64 bits.
// No spaces, points or exponents, unlike QString::toLongLong.
std::optional<qint64> parseStrictInteger(QStringView text);

// The number rules of the lenient readers.
std::optional<QString> flexibleNumberText(const Number &number);   // 8.0 -> "8", 8.5 -> "8.5"
std::optional<QString> oneDecimalNumberText(const Number &number); // 8 -> "8", 9.16 -> "9.2"

// ---- Values that are already parsed (QJsonValue) -----------------------------------------------

template<class V>
concept JsonValueLike = std::same_as<V, QJsonValue> || std::same_as<V, QJsonValueConstRef>;

// A number as the lenient rules see it. Qt keeps literals that fit as exact integers and
// everything else as doubles; a double 123.0 counts as an integer too.
template<JsonValueLike V>
std::optional<Number> numberOf(const V &value)
{
    if (value.type() != QJsonValue::Double)
        return std::nullopt;
    const double d = value.toDouble();
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (d >= -kTwoTo63 && d < kTwoTo63) {
        if (std::trunc(d) == d)
            return Number{true, value.toInteger(), d};
    } else if (d == kTwoTo63) {
        // A stored integer near the top of the range rounds up to 2^63 as a double; Qt answers
        // the stored value for it, and the fallback for a real double 2^63, which does not fit.
        if (const qint64 stored = value.toInteger(0); stored != 0)
            return Number{true, stored, d};
    }
    return Number{false, 0, d};
}

template<JsonValueLike V>
std::optional<QString> flexibleText(const V &value)
{
    if (value.type() == QJsonValue::String)
        return value.toString();
    if (const auto number = numberOf(value))
        return flexibleNumberText(*number);
    return std::nullopt;
}

template<JsonValueLike V>
std::optional<QString> textOrInteger(const V &value)
{
    if (value.type() == QJsonValue::String)
        return value.toString();
    if (const auto number = numberOf(value); number && number->isInteger)
        return QString::number(number->integer);
    return std::nullopt;
}

template<JsonValueLike V>
std::optional<qint64> integerOrText(const V &value)
{
    if (const auto number = numberOf(value); number && number->isInteger)
        return number->integer;
    if (value.type() == QJsonValue::String)
        return parseStrictInteger(value.toString());
    return std::nullopt;
}

template<JsonValueLike V>
std::optional<QString> textOrDouble(const V &value)
{
    if (value.type() == QJsonValue::String)
        return value.toString();
    if (value.type() == QJsonValue::Double)
        return doubleText(value.toDouble());
    return std::nullopt;
}

// The same rules for one member of an object; a missing member is absent.
std::optional<QString> textOrInteger(const QJsonObject &object, QLatin1StringView key);
std::optional<qint64> integerOrText(const QJsonObject &object, QLatin1StringView key);
std::optional<QString> textOrDouble(const QJsonObject &object, QLatin1StringView key);
std::optional<QString> flexibleText(const QJsonObject &object, QLatin1StringView key);

// ---- Lenient readers on the parser ------------------------------------------------------------
// Each consumes the next value whatever it is, and never fails the record: an unreadable value
// is absent and the field takes its default.

// Text as is; a number integral within 64 bits in decimal; any other number as its shortest
// text; anything else (and integral numbers beyond 64 bits) absent.
struct FlexibleText
{
    std::optional<QString> operator()(Parser &parser) const;
};
// Like FlexibleText, but a fractional number gets exactly one decimal ("%.1f").
struct OneDecimalText
{
    std::optional<QString> operator()(Parser &parser) const;
};
// Text as is, or an integer in decimal.
struct TextOrInteger
{
    std::optional<QString> operator()(Parser &parser) const;
};
// An integer, or a text holding a whole signed decimal.
struct IntegerOrText
{
    std::optional<qint64> operator()(Parser &parser) const;
};
// Text as is, or any number as its shortest text with integral values keeping ".0".
struct TextOrDouble
{
    std::optional<QString> operator()(Parser &parser) const;
};

inline constexpr FlexibleText flexible{};
inline constexpr OneDecimalText oneDecimal{};
inline constexpr TextOrInteger textOrIntegerRule{};
inline constexpr IntegerOrText integerOrTextRule{};
inline constexpr TextOrDouble textOrDoubleRule{};

// ---- Reading typed values ---------------------------------------------------------------------

// Reads the next value as T, strictly. Records provide `static Decoded<T> fromParser(Parser &)`.
template<class T>
struct Reader
{
    static Decoded<T> read(Parser &parser) { return T::fromParser(parser); }
};

// A value of the wrong kind; when the parser itself failed, its error instead.
DecodeError mismatch(const Parser &parser, QStringView expected, Parser::Kind actual);

template<>
struct Reader<qint64>
{
    static Decoded<qint64> read(Parser &parser);
};

template<>
struct Reader<double>
{
    static Decoded<double> read(Parser &parser);
};

template<>
struct Reader<bool>
{
    static Decoded<bool> read(Parser &parser);
};

template<>
struct Reader<QString>
{
    static Decoded<QString> read(Parser &parser);
};

// One element that fails makes the whole array fail.
template<class T>
struct Reader<QList<T>>
{
    static Decoded<QList<T>> read(Parser &parser)
    {
        const auto kind = parser.peek();
        if (kind != Parser::Kind::Array)
            return std::unexpected(mismatch(parser, u"数组", kind));
        if (!parser.beginArray())
            return std::unexpected(syntaxError(parser));
        QList<T> out;
        qsizetype index = 0;
        while (parser.nextElement()) {
            auto element = Reader<T>::read(parser);
            if (!element) {
                if (parser.failed())
                    return std::unexpected(syntaxError(parser));
                return std::unexpected(atIndex(std::move(element.error()), index));
            }
            out.append(std::move(*element));
            ++index;
        }
        if (parser.failed())
            return std::unexpected(syntaxError(parser));
        return out;
    }
};

template<class T>
struct Reader<QMap<QString, T>>
{
    static Decoded<QMap<QString, T>> read(Parser &parser)
    {
        const auto kind = parser.peek();
        if (kind != Parser::Kind::Object)
            return std::unexpected(mismatch(parser, u"对象", kind));
        if (!parser.beginObject())
            return std::unexpected(syntaxError(parser));
        QMap<QString, T> out;
        // As in records, a repeated name counts by its last value only.
        QMap<QString, DecodeError> failures;
        QByteArrayView rawKey;
        while (parser.nextMember(rawKey)) {
            const QString key = QString::fromUtf8(rawKey);
            const Parser::Mark start = parser.mark();
            auto element = Reader<T>::read(parser);
            if (parser.failed())
                return std::unexpected(syntaxError(parser));
            if (!element) {
                parser.rewind(start);
                if (!parser.skipValue())
                    return std::unexpected(syntaxError(parser));
                out.remove(key);
                failures.insert(key, atKey(std::move(element.error()), QStringView(key)));
                continue;
            }
            failures.remove(key);
            out.insert(key, std::move(*element));
        }
        if (parser.failed())
            return std::unexpected(syntaxError(parser));
        if (!failures.isEmpty())
            return std::unexpected(failures.first());
        return out;
    }
};

// ---- Reading records --------------------------------------------------------------------------
//
// A record lists its members once, as a function called with a field visitor:
//
//     [](auto &f) {
//         f.required("name"_L1, &NavItem::name);
//         f.defaulted("icon"_L1, &NavItem::icon);
//         f.lenient("id"_L1, &NavItem::id, json::textOrIntegerRule);
//     }
//
// and readRecord walks the object's members once, in the order they come, handing each to the
// field of that name. Defaults are the values of a default-constructed record. The readings:
//   required   missing, null or another type fails the record
//   optional   missing or null is absent; another type fails the record
//   defaulted  missing or null is the default; another type fails the record
//   tolerant   anything unreadable is the default (or absent) and reading goes on
//   lenient    one of the lenient readers above; never fails

template<class R>
const R &defaultRecord()
{
    static const R value{};
    return value;
}

template<class T>
struct IsOptional : std::false_type
{
    using Value = T;
};

template<class T>
struct IsOptional<std::optional<T>> : std::true_type
{
    using Value = T;
};

// The member names of one record, in the order its field list gives them.
class KeyTable
{
public:
    void add(QLatin1StringView key) { m_keys.append(key); }
    qsizetype size() const { return m_keys.size(); }
    QLatin1StringView at(qsizetype index) const { return m_keys.at(index); }

    // Servers tend to send members in a fixed order, so the search starts after the last hit.
    int find(QByteArrayView key, int from) const
    {
        const int count = int(m_keys.size());
        for (int n = 0, i = from; n < count; ++n, ++i) {
            if (i >= count)
                i = 0;
            const QLatin1StringView candidate = m_keys[i];
            if (candidate.size() == key.size()
                && std::memcmp(candidate.data(), key.data(), size_t(key.size())) == 0)
                return i;
        }
        return -1;
    }

private:
    QVarLengthArray<QLatin1StringView, 24> m_keys;
};

template<class R>
class KeyCollector
{
public:
    explicit KeyCollector(KeyTable &table) : m_table(table) {}

    template<class M> void required(QLatin1StringView key, M R::*) { m_table.add(key); }
    template<class M> void optional(QLatin1StringView key, M R::*) { m_table.add(key); }
    template<class M> void defaulted(QLatin1StringView key, M R::*) { m_table.add(key); }
    template<class M> void tolerant(QLatin1StringView key, M R::*) { m_table.add(key); }
    template<class M, class L> void lenient(QLatin1StringView key, M R::*, const L &) { m_table.add(key); }

private:
    KeyTable &m_table;
};

// Reads the member at the parser into the field with index `target`; the other fields pass.
template<class R>
class FieldReader
{
public:
    FieldReader(Parser &parser, R &record, int target)
        : m_parser(parser), m_record(record), m_target(target)
    {
    }

    // The field's failure, when failed is set. Kept as a plain pair rather than an optional:
    // GCC 12 misreads moves out of optional<QString-holder> as uninitialised reads.
    DecodeError error;
    bool failed = false;
    bool present = false;

    template<class M>
    void required(QLatin1StringView, M R::*member)
    {
        if (m_index++ != m_target)
            return;
        const auto kind = m_parser.peek();
        if (kind == Parser::Kind::Null) {
            m_parser.readNull();
            setError(missingValue());
            return;
        }
        assignStrict(member);
        present = !failed;
    }

    template<class T>
    void optional(QLatin1StringView, std::optional<T> R::*member)
    {
        if (m_index++ != m_target)
            return;
        if (m_parser.peek() == Parser::Kind::Null) {
            m_parser.readNull();
            (m_record.*member).reset();
            return;
        }
        auto value = Reader<T>::read(m_parser);
        if (!value)
            setError(std::move(value.error()));
        else
            m_record.*member = std::move(*value);
    }

    template<class M>
    void defaulted(QLatin1StringView, M R::*member)
    {
        if (m_index++ != m_target)
            return;
        if (m_parser.peek() == Parser::Kind::Null) {
            m_parser.readNull();
            m_record.*member = defaultRecord<R>().*member;
            return;
        }
        assignStrict(member);
    }

    template<class M>
    void tolerant(QLatin1StringView, M R::*member)
    {
        if (m_index++ != m_target)
            return;
        using T = typename IsOptional<M>::Value;
        const Parser::Mark start = m_parser.mark();
        if (m_parser.peek() != Parser::Kind::Null) {
            auto value = Reader<T>::read(m_parser);
            if (value) {
                m_record.*member = std::move(*value);
                return;
            }
            if (m_parser.failed())
                return;
            // Go back and pass over the whole value, whatever part of it was unreadable.
            m_parser.rewind(start);
        }
        m_parser.skipValue();
        m_record.*member = defaultRecord<R>().*member;
    }

    template<class M, class L>
    void lenient(QLatin1StringView, M R::*member, const L &reader)
    {
        if (m_index++ != m_target)
            return;
        auto value = reader(m_parser);
        if constexpr (IsOptional<M>::value) {
            m_record.*member = std::move(value);
        } else {
            if (value)
                m_record.*member = std::move(*value);
            else
                m_record.*member = defaultRecord<R>().*member;
        }
    }

private:
    template<class M>
    void assignStrict(M R::*member)
    {
        auto value = Reader<M>::read(m_parser);
        if (!value)
            setError(std::move(value.error()));
        else
            m_record.*member = std::move(*value);
    }

    void setError(DecodeError e)
    {
        error = std::move(e);
        failed = true;
    }

    Parser &m_parser;
    R &m_record;
    int m_target;
    int m_index = 0;
};

// Finds the first required field whose member never came.
template<class R>
class RequiredCheck
{
public:
    explicit RequiredCheck(quint64 present) : m_present(present) {}

    std::optional<int> missing;

    template<class M> void required(QLatin1StringView, M R::*)
    {
        if (!missing && !(m_present & (quint64(1) << m_index)))
            missing = m_index;
        ++m_index;
    }
    template<class M> void optional(QLatin1StringView, M R::*) { ++m_index; }
    template<class M> void defaulted(QLatin1StringView, M R::*) { ++m_index; }
    template<class M> void tolerant(QLatin1StringView, M R::*) { ++m_index; }
    template<class M, class L> void lenient(QLatin1StringView, M R::*, const L &) { ++m_index; }

private:
    quint64 m_present;
    int m_index = 0;
};

template<class R, class Fields>
Decoded<R> readRecord(Parser &parser, const Fields &fields)
{
    static const KeyTable keys = [&] {
        KeyTable table;
        KeyCollector<R> collector(table);
        fields(collector);
        return table;
    }();
    // One bit per field marks the required ones that came.
    Q_ASSERT(keys.size() <= 64);

    const auto kind = parser.peek();
    if (kind != Parser::Kind::Object)
        return std::unexpected(mismatch(parser, u"对象", kind));
    if (!parser.beginObject())
        return std::unexpected(syntaxError(parser));

    R record;
    quint64 present = 0;
    // Failed fields wait for the end of the object: QJsonDocument keeps the last of repeated
    // members, so a bad value followed by a good one under the same name reads.
    quint64 failing = 0;
    QVarLengthArray<std::pair<int, DecodeError>, 1> failures;
    int hint = 0;
    QByteArrayView key;
    while (parser.nextMember(key)) {
        const int index = keys.find(key, hint);
        if (index < 0) {
            // Members a record does not list are passed over.
            if (!parser.skipValue())
                return std::unexpected(syntaxError(parser));
            continue;
        }
        hint = index + 1;
        const quint64 bit = quint64(1) << index;
        const Parser::Mark start = parser.mark();
        FieldReader<R> reader(parser, record, index);
        fields(reader);
        if (parser.failed())
            return std::unexpected(syntaxError(parser));
        if (reader.failed) {
            parser.rewind(start);
            if (!parser.skipValue())
                return std::unexpected(syntaxError(parser));
            present &= ~bit;
            failing |= bit;
            failures.append({index, atKey(std::move(reader.error), keys.at(index))});
            continue;
        }
        failing &= ~bit;
        if (reader.present)
            present |= bit;
    }
    if (parser.failed())
        return std::unexpected(syntaxError(parser));
    for (auto &[index, error] : failures) {
        if (failing & (quint64(1) << index))
            return std::unexpected(std::move(error));
    }

    RequiredCheck<R> check(present);
    fields(check);
    if (check.missing)
        return std::unexpected(atKey(missingValue(), keys.at(*check.missing)));
    return record;
}

// A whole document (an object or an array at the top, like QJsonDocument wants) read as T.
template<class T>
Decoded<T> decodeDocument(QByteArrayView bytes)
{
    Parser parser(bytes);
    const auto kind = parser.peek();
    if (kind != Parser::Kind::Object && kind != Parser::Kind::Array) {
        if (!parser.failed())
            return std::unexpected(DecodeError{QStringLiteral("不是有效的 JSON（顶层应为对象或数组）")});
        return std::unexpected(syntaxError(parser));
    }
    auto value = Reader<T>::read(parser);
    if (!value)
        return value;
    if (!parser.finish())
        return std::unexpected(syntaxError(parser));
    return value;
}

// Compact JSON text of one already parsed value, wrapped in an array so that any value can
// stand at the top of a document.
QByteArray wrappedJson(const QJsonValue &value);

}

// Reads any record type, a list of records (one failing element fails the list), or Empty, from
// a value that is already parsed. It is written back to compact JSON and read by the same
// reader as reply bytes, so both ways in follow exactly the same rules.
template<class T>
Decoded<T> readJson(const QJsonValue &value)
{
    const QByteArray bytes = json::wrappedJson(value);
    json::Parser parser(bytes);
    if (!parser.beginArray() || !parser.nextElement())
        return std::unexpected(json::syntaxError(parser));
    return json::Reader<T>::read(parser);
}

// Hashing for records whose equality and hashing cover every field.
class HashBuilder
{
public:
    explicit HashBuilder(size_t seed) : m_seed(seed) {}

    template<class T>
    HashBuilder &add(const T &value)
    {
        m_seed ^= qHash(value, 0) + 0x9e3779b9 + (m_seed << 6) + (m_seed >> 2);
        return *this;
    }

    template<class T>
    HashBuilder &add(const std::optional<T> &value)
    {
        add(value.has_value());
        if (value)
            add(*value);
        return *this;
    }

    size_t result() const { return m_seed; }

private:
    size_t m_seed;
};

}
