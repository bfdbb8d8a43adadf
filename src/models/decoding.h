#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cmath>
#include <concepts>
#include <expected>
#include <optional>
#include <type_traits>
#include <utility>

// How API records are read. Replies are parsed by QJsonDocument, and every record is read
// straight from the parsed tree: members are looked up by name in the QJsonObject (a binary
// search over its sorted keys, with our Latin-1 member names and no allocation), so reading adds
// little to the parse itself. Bytes and already parsed values go through the same readers.

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

// A JSON number as the readers see it: exact when it is a whole number within 64 bits, else
// a double.
struct Number
{
    bool isInteger = false;
    qint64 integer = 0;
    double value = 0.0;

    // The integral value within the signed 64-bit range, whether the server wrote "123" or
    // "123.0"; nothing for fractions and for values beyond 64 bits.
    std::optional<qint64> asInteger() const;
};

// ---- Failures ---------------------------------------------------------------------------------

DecodeError missingValue();
DecodeError wrongType(QStringView expected, QJsonValue::Type actual);
DecodeError notAnInteger(const Number &number);
DecodeError documentNotObject();
// Broken JSON: "不是有效的 JSON（reason，偏移 n）", without a member path.
DecodeError syntaxError(const QJsonParseError &error);

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

// ---- Parsed values ------------------------------------------------------------------------------

// A value of a parsed document, held on its own or as an element/member of its container.
template<class V>
concept JsonValueLike = std::same_as<V, QJsonValue> || std::same_as<V, QJsonValueConstRef>;

// Accessors on an element of a container go through the container each time, so the readers
// below take the value's type once from their caller.

// A number as the lenient rules see it. Qt keeps literals that fit as exact integers and
// everything else as doubles; a double 123.0 counts as an integer too.
template<JsonValueLike V>
std::optional<Number> numberOf(const V &value, QJsonValue::Type type)
{
    if (type != QJsonValue::Double)
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
std::optional<Number> numberOf(const V &value)
{
    return numberOf(value, value.type());
}

// ---- Lenient readers ----------------------------------------------------------------------------
// Each takes a value whatever it is and never fails the record: an unreadable value is absent
// and the field takes its default.

// Text as is; a number integral within 64 bits in decimal; any other number as its shortest
// text; anything else (and integral numbers beyond 64 bits) absent.
template<JsonValueLike V>
std::optional<QString> flexibleText(const V &value, QJsonValue::Type type)
{
    if (type == QJsonValue::String)
        return value.toString();
    if (const auto number = numberOf(value, type))
        return flexibleNumberText(*number);
    return std::nullopt;
}

// Like flexibleText, but a fractional number gets exactly one decimal ("%.1f").
template<JsonValueLike V>
std::optional<QString> oneDecimalOrText(const V &value, QJsonValue::Type type)
{
    if (type == QJsonValue::String)
        return value.toString();
    if (const auto number = numberOf(value, type))
        return oneDecimalNumberText(*number);
    return std::nullopt;
}

// Text as is, or an integer in decimal.
template<JsonValueLike V>
std::optional<QString> textOrInteger(const V &value, QJsonValue::Type type)
{
    if (type == QJsonValue::String)
        return value.toString();
    if (const auto number = numberOf(value, type); number && number->isInteger)
        return QString::number(number->integer);
    return std::nullopt;
}

// An integer, or a text holding a whole signed decimal.
template<JsonValueLike V>
std::optional<qint64> integerOrText(const V &value, QJsonValue::Type type)
{
    if (const auto number = numberOf(value, type); number && number->isInteger)
        return number->integer;
    if (type == QJsonValue::String)
        return parseStrictInteger(value.toString());
    return std::nullopt;
}

// Text as is, or any number as its shortest text with integral values keeping ".0".
template<JsonValueLike V>
std::optional<QString> textOrDouble(const V &value, QJsonValue::Type type)
{
    if (type == QJsonValue::String)
        return value.toString();
    if (type == QJsonValue::Double)
        return doubleText(value.toDouble());
    return std::nullopt;
}

template<JsonValueLike V>
std::optional<QString> flexibleText(const V &value) { return flexibleText(value, value.type()); }
template<JsonValueLike V>
std::optional<QString> oneDecimalOrText(const V &value) { return oneDecimalOrText(value, value.type()); }
template<JsonValueLike V>
std::optional<QString> textOrInteger(const V &value) { return textOrInteger(value, value.type()); }
template<JsonValueLike V>
std::optional<qint64> integerOrText(const V &value) { return integerOrText(value, value.type()); }
template<JsonValueLike V>
std::optional<QString> textOrDouble(const V &value) { return textOrDouble(value, value.type()); }

// The same rules for one member of an object; a missing member is absent.
std::optional<QString> textOrInteger(const QJsonObject &object, QLatin1StringView key);
std::optional<qint64> integerOrText(const QJsonObject &object, QLatin1StringView key);
std::optional<QString> textOrDouble(const QJsonObject &object, QLatin1StringView key);
std::optional<QString> flexibleText(const QJsonObject &object, QLatin1StringView key);

// The lenient readers as values, for record field lists.
#define TOVRA_LENIENT_RULE(Name, Result, function)                                               \
    struct Name                                                                                    \
    {                                                                                              \
        template<JsonValueLike V>                                                                  \
        std::optional<Result> operator()(const V &value, QJsonValue::Type type) const              \
        {                                                                                          \
            return function(value, type);                                                          \
        }                                                                                          \
        template<JsonValueLike V>                                                                  \
        std::optional<Result> operator()(const V &value) const                                     \
        {                                                                                          \
            return function(value, value.type());                                                  \
        }                                                                                          \
    };
TOVRA_LENIENT_RULE(FlexibleText, QString, flexibleText)
TOVRA_LENIENT_RULE(OneDecimalText, QString, oneDecimalOrText)
TOVRA_LENIENT_RULE(TextOrInteger, QString, textOrInteger)
TOVRA_LENIENT_RULE(IntegerOrText, qint64, integerOrText)
TOVRA_LENIENT_RULE(TextOrDouble, QString, textOrDouble)
#undef TOVRA_LENIENT_RULE

inline constexpr FlexibleText flexible{};
inline constexpr OneDecimalText oneDecimal{};
inline constexpr TextOrInteger textOrIntegerRule{};
inline constexpr IntegerOrText integerOrTextRule{};
inline constexpr TextOrDouble textOrDoubleRule{};

// ---- Reading typed values ---------------------------------------------------------------------

// Reads a value of the given type as T, strictly. Records provide
// `static Decoded<T> fromJson(const QJsonValue &)`.
template<class T>
struct Reader
{
    template<JsonValueLike V>
    static Decoded<T> read(const V &value, QJsonValue::Type)
    {
        return T::fromJson(value);
    }
};

template<>
struct Reader<qint64>
{
    template<JsonValueLike V>
    static Decoded<qint64> read(const V &value, QJsonValue::Type type)
    {
        const auto number = numberOf(value, type);
        if (!number)
            return std::unexpected(wrongType(u"整数", type));
        if (const auto integer = number->asInteger())
            return *integer;
        return std::unexpected(notAnInteger(*number));
    }
};

// A scalar of exactly one JSON type, without conversion: 1, 0 and "true" are not flags, and a
// number is never text.
template<class T, QJsonValue::Type Expected>
struct ExactReader
{
    template<JsonValueLike V>
    static Decoded<T> read(const V &value, QJsonValue::Type type)
    {
        if (type != Expected) {
            const QStringView name = Expected == QJsonValue::Double ? QStringView(u"数字")
                : Expected == QJsonValue::Bool                      ? QStringView(u"布尔值")
                                                                    : QStringView(u"文本");
            return std::unexpected(wrongType(name, type));
        }
        if constexpr (std::is_same_v<T, double>)
            return value.toDouble();
        else if constexpr (std::is_same_v<T, bool>)
            return value.toBool();
        else
            return value.toString();
    }
};

template<>
struct Reader<double> : ExactReader<double, QJsonValue::Double> {};
template<>
struct Reader<bool> : ExactReader<bool, QJsonValue::Bool> {};
template<>
struct Reader<QString> : ExactReader<QString, QJsonValue::String> {};

// One element that fails makes the whole array fail.
template<class T>
struct Reader<QList<T>>
{
    template<JsonValueLike V>
    static Decoded<QList<T>> read(const V &value, QJsonValue::Type type)
    {
        if (type != QJsonValue::Array)
            return std::unexpected(wrongType(u"数组", type));
        const QJsonArray array = value.toArray();
        QList<T> out;
        out.reserve(array.size());
        qsizetype index = 0;
        for (const QJsonValueConstRef element : array) {
            auto read = Reader<T>::read(element, element.type());
            if (!read)
                return std::unexpected(atIndex(std::move(read.error()), index));
            out.append(std::move(*read));
            ++index;
        }
        return out;
    }
};

// QJsonObject holds each name once (the last of repeated members), in its own sorted order.
template<class T>
struct Reader<QMap<QString, T>>
{
    template<JsonValueLike V>
    static Decoded<QMap<QString, T>> read(const V &value, QJsonValue::Type type)
    {
        if (type != QJsonValue::Object)
            return std::unexpected(wrongType(u"对象", type));
        const QJsonObject object = value.toObject();
        QMap<QString, T> out;
        for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
            const QString key = it.key();
            auto read = Reader<T>::read(*it, it->type());
            if (!read)
                return std::unexpected(atKey(std::move(read.error()), QStringView(key)));
            out.insert(key, std::move(*read));
        }
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
// and readRecord looks each one up in the object, in that order; the first field that fails
// fails the record. Members a record does not list are never looked at. Defaults are the values
// of a default-constructed record. The readings:
//   required   missing, null or another type fails the record
//   optional   missing or null is absent; another type fails the record
//   defaulted  missing or null is the default; another type fails the record
//   tolerant   anything unreadable is the default (or absent) and reading goes on
//   lenient    one of the lenient readers above; never fails

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

// Reads the listed members of one object into a default-constructed record.
template<class R>
class FieldReader
{
public:
    FieldReader(const QJsonObject &object, R &record)
        : m_object(object), m_end(object.constEnd()), m_record(record)
    {
    }

    // The first failure, when failed is set. Kept as a plain pair rather than an optional:
    // GCC 12 misreads moves out of optional<QString-holder> as uninitialised reads.
    DecodeError error;
    bool failed = false;

    template<class M>
    void required(QLatin1StringView key, M R::*member)
    {
        if (failed)
            return;
        const auto it = m_object.constFind(key);
        const QJsonValue::Type type = it == m_end ? QJsonValue::Undefined : it->type();
        if (type == QJsonValue::Undefined || type == QJsonValue::Null)
            return fail(missingValue(), key);
        assign(key, *it, type, member);
    }

    template<class T>
    void optional(QLatin1StringView key, std::optional<T> R::*member)
    {
        if (failed)
            return;
        const auto it = m_object.constFind(key);
        if (it == m_end)
            return;
        const QJsonValue::Type type = it->type();
        if (type == QJsonValue::Null)
            return;
        auto value = Reader<T>::read(*it, type);
        if (!value)
            return fail(std::move(value.error()), key);
        m_record.*member = std::move(*value);
    }

    template<class M>
    void defaulted(QLatin1StringView key, M R::*member)
    {
        if (failed)
            return;
        const auto it = m_object.constFind(key);
        if (it == m_end)
            return;
        const QJsonValue::Type type = it->type();
        if (type == QJsonValue::Null)
            return;
        assign(key, *it, type, member);
    }

    template<class M>
    void tolerant(QLatin1StringView key, M R::*member)
    {
        if (failed)
            return;
        const auto it = m_object.constFind(key);
        if (it == m_end)
            return;
        const QJsonValue::Type type = it->type();
        if (type == QJsonValue::Null)
            return;
        // What cannot be read leaves the default in place.
        if (auto value = Reader<typename IsOptional<M>::Value>::read(*it, type))
            m_record.*member = std::move(*value);
    }

    template<class M, class L>
    void lenient(QLatin1StringView key, M R::*member, const L &rule)
    {
        if (failed)
            return;
        const auto it = m_object.constFind(key);
        if (it == m_end)
            return;
        auto value = rule(*it, it->type());
        if constexpr (IsOptional<M>::value) {
            m_record.*member = std::move(value);
        } else {
            if (value)
                m_record.*member = std::move(*value);
        }
    }

private:
    template<class M>
    void assign(QLatin1StringView key, const QJsonValueConstRef &json, QJsonValue::Type type,
                M R::*member)
    {
        auto value = Reader<M>::read(json, type);
        if (!value)
            return fail(std::move(value.error()), key);
        m_record.*member = std::move(*value);
    }

    void fail(DecodeError e, QLatin1StringView key)
    {
        error = atKey(std::move(e), key);
        failed = true;
    }

    const QJsonObject &m_object;
    const QJsonObject::const_iterator m_end;
    R &m_record;
};

template<class R, class Fields>
Decoded<R> readObject(const QJsonObject &object, const Fields &fields)
{
    // Filled in place and returned as it is, so a large record is not moved on its way out.
    Decoded<R> result(std::in_place);
    FieldReader<R> reader(object, *result);
    fields(reader);
    if (reader.failed)
        result = std::unexpected(std::move(reader.error));
    return result;
}

template<class R, class Fields>
Decoded<R> readRecord(const QJsonValue &value, const Fields &fields)
{
    if (value.type() != QJsonValue::Object)
        return std::unexpected(wrongType(u"对象", value.type()));
    return readObject<R>(value.toObject(), fields);
}

// ---- Documents --------------------------------------------------------------------------------

// Parses reply or file bytes; a failure is a DecodeError that says what broke and where.
Decoded<QJsonDocument> parseDocument(QByteArrayView bytes);

// A whole document (an object or an array at the top, like QJsonDocument wants) read as T.
template<class T>
Decoded<T> decodeDocument(QByteArrayView bytes)
{
    const auto document = parseDocument(bytes);
    if (!document)
        return std::unexpected(document.error());
    if (document->isObject())
        return Reader<T>::read(QJsonValue(document->object()), QJsonValue::Object);
    return Reader<T>::read(QJsonValue(document->array()), QJsonValue::Array);
}

}

// Reads any record type, a list of records (one failing element fails the list), or Empty, from
// a value that is already parsed.
template<class T>
Decoded<T> readJson(const QJsonValue &value)
{
    return json::Reader<T>::read(value, value.type());
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
