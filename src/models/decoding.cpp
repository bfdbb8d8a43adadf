#include "models/decoding.h"

#include <QJsonDocument>

#include <charconv>
#include <limits>

using namespace Qt::StringLiterals;

namespace tovra::json {

namespace {

const QString kWhereOpen = u"（位置："_s;
constexpr QChar kWhereClose = u'）';

QString kindName(Parser::Kind kind)
{
    switch (kind) {
    case Parser::Kind::Null: return u"null"_s;
    case Parser::Kind::Bool: return u"布尔值"_s;
    case Parser::Kind::Number: return u"数字"_s;
    case Parser::Kind::String: return u"文本"_s;
    case Parser::Kind::Array: return u"数组"_s;
    case Parser::Kind::Object: return u"对象"_s;
    case Parser::Kind::Invalid: break;
    }
    return u"无效的值"_s;
}

DecodeError within(DecodeError error, const QString &segment)
{
    QString &text = error.description;
    const qsizetype open = text.lastIndexOf(kWhereOpen);
    if (open < 0 || !text.endsWith(kWhereClose)) {
        text += kWhereOpen + segment + kWhereClose;
        return error;
    }
    const qsizetype pathStart = open + kWhereOpen.size();
    const bool innerIsIndex = pathStart < text.size() && text.at(pathStart) == u'[';
    text.insert(pathStart, innerIsIndex ? segment : segment + u'.');
    return error;
}

QString asciiText(const char *begin, const char *end)
{
    return QString::fromLatin1(begin, end - begin);
}

}

// ---- Failures ---------------------------------------------------------------------------------

DecodeError missingValue()
{
    return {u"缺少必需的值"_s};
}

DecodeError wrongType(QStringView expected, Parser::Kind actual)
{
    return {u"类型不符：应为%1，实际为%2"_s.arg(expected, kindName(actual))};
}

DecodeError notAnInteger(const Number &number)
{
    return {u"类型不符：应为 64 位整数，实际为 %1"_s.arg(doubleText(number.value))};
}

DecodeError documentNotObject()
{
    return {u"回复不是 JSON 对象"_s};
}

DecodeError syntaxError(const Parser &parser)
{
    return {parser.errorText()};
}

DecodeError mismatch(const Parser &parser, QStringView expected, Parser::Kind actual)
{
    if (parser.failed() || actual == Parser::Kind::Invalid)
        return syntaxError(parser);
    return wrongType(expected, actual);
}

DecodeError atKey(DecodeError error, QStringView key)
{
    return within(std::move(error), key.toString());
}

DecodeError atKey(DecodeError error, QLatin1StringView key)
{
    return within(std::move(error), QString(key));
}

DecodeError atIndex(DecodeError error, qsizetype index)
{
    return within(std::move(error), u'[' + QString::number(index) + u']');
}

// ---- Number texts -----------------------------------------------------------------------------

QString doubleText(double value)
{
    // to_chars alone would pick whichever form is shorter, which turns 0.0001 into "1e-04".
    const double magnitude = std::fabs(value);
    const bool exponent = (magnitude != 0.0 && magnitude < 1e-4) || magnitude > 18014398509481984.0;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      exponent ? std::chars_format::scientific
                                               : std::chars_format::fixed);
    QString text = asciiText(buffer, result.ptr);
    if (!exponent && !text.contains(u'.'))
        text += ".0"_L1;
    return text;
}

QString oneDecimalText(double value)
{
    // to_chars with a precision is printf's "%.1f" in the C locale. snprintf itself would follow
    // LC_NUMERIC, which QCoreApplication takes from the environment (a comma in de_DE).
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::fixed, 1);
    if (result.ec != std::errc())
        return {};
    return asciiText(buffer, result.ptr);
}

std::optional<qint64> parseStrictInteger(QStringView text)
{
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    if (pos == text.size())
        return std::nullopt;
    // Accumulate on the negative side so that the minimum value parses too.
    qint64 value = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t c = text[pos].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        if (__builtin_mul_overflow(value, 10, &value)
            || __builtin_sub_overflow(value, qint64(c - u'0'), &value))
            return std::nullopt;
    }
    if (negative)
        return value;
    if (value == std::numeric_limits<qint64>::min())
        return std::nullopt;
    return -value;
}

std::optional<QString> flexibleNumberText(const Number &number)
{
    if (const auto integer = number.asInteger())
        return QString::number(*integer);
    if (std::trunc(number.value) == number.value)
        return std::nullopt;  // integral, but beyond 64 bits
    return doubleText(number.value);
}

std::optional<QString> oneDecimalNumberText(const Number &number)
{
    if (const auto integer = number.asInteger())
        return QString::number(*integer);
    if (std::trunc(number.value) == number.value)
        return std::nullopt;
    return oneDecimalText(number.value);
}

// ---- Lenient readers on parsed objects ----------------------------------------------------------

std::optional<QString> textOrInteger(const QJsonObject &object, QLatin1StringView key)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return textOrInteger(*it);
}

std::optional<qint64> integerOrText(const QJsonObject &object, QLatin1StringView key)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return integerOrText(*it);
}

std::optional<QString> textOrDouble(const QJsonObject &object, QLatin1StringView key)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return textOrDouble(*it);
}

std::optional<QString> flexibleText(const QJsonObject &object, QLatin1StringView key)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return flexibleText(*it);
}

// ---- Lenient readers on the parser ------------------------------------------------------------

namespace {

// Reads a text or a number; anything else is passed over.
template<class FromText, class FromNumber>
auto readScalar(Parser &parser, FromText fromText, FromNumber fromNumber)
    -> decltype(fromText(QString()))
{
    switch (parser.peek()) {
    case Parser::Kind::String: {
        QString text;
        if (!parser.readString(text))
            return std::nullopt;
        return fromText(std::move(text));
    }
    case Parser::Kind::Number: {
        Number number;
        if (!parser.readNumber(number))
            return std::nullopt;
        return fromNumber(number);
    }
    default:
        parser.skipValue();
        return std::nullopt;
    }
}

std::optional<QString> textAsIs(QString text)
{
    return text;
}

}

std::optional<QString> FlexibleText::operator()(Parser &parser) const
{
    return readScalar(parser, textAsIs, flexibleNumberText);
}

std::optional<QString> OneDecimalText::operator()(Parser &parser) const
{
    return readScalar(parser, textAsIs, oneDecimalNumberText);
}

std::optional<QString> TextOrInteger::operator()(Parser &parser) const
{
    return readScalar(parser, textAsIs, [](const Number &number) -> std::optional<QString> {
        if (const auto integer = number.asInteger())
            return QString::number(*integer);
        return std::nullopt;
    });
}

std::optional<qint64> IntegerOrText::operator()(Parser &parser) const
{
    return readScalar(
        parser, [](const QString &text) { return parseStrictInteger(text); },
        [](const Number &number) { return number.asInteger(); });
}

std::optional<QString> TextOrDouble::operator()(Parser &parser) const
{
    return readScalar(parser, textAsIs, [](const Number &number) -> std::optional<QString> {
        return doubleText(number.isInteger ? double(number.integer) : number.value);
    });
}

// ---- Typed values -----------------------------------------------------------------------------

Decoded<qint64> Reader<qint64>::read(Parser &parser)
{
    const auto kind = parser.peek();
    if (kind != Parser::Kind::Number)
        return std::unexpected(mismatch(parser, u"整数", kind));
    Number number;
    if (!parser.readNumber(number))
        return std::unexpected(syntaxError(parser));
    if (const auto integer = number.asInteger())
        return *integer;
    return std::unexpected(notAnInteger(number));
}

Decoded<double> Reader<double>::read(Parser &parser)
{
    const auto kind = parser.peek();
    if (kind != Parser::Kind::Number)
        return std::unexpected(mismatch(parser, u"数字", kind));
    Number number;
    if (!parser.readNumber(number))
        return std::unexpected(syntaxError(parser));
    return number.isInteger ? double(number.integer) : number.value;
}

Decoded<bool> Reader<bool>::read(Parser &parser)
{
    const auto kind = parser.peek();
    if (kind != Parser::Kind::Bool)
        return std::unexpected(mismatch(parser, u"布尔值", kind));
    bool flag = false;
    if (!parser.readBool(flag))
        return std::unexpected(syntaxError(parser));
    return flag;
}

Decoded<QString> Reader<QString>::read(Parser &parser)
{
    const auto kind = parser.peek();
    if (kind != Parser::Kind::String)
        return std::unexpected(mismatch(parser, u"文本", kind));
    QString text;
    if (!parser.readString(text))
        return std::unexpected(syntaxError(parser));
    return text;
}

QByteArray wrappedJson(const QJsonValue &value)
{
    QJsonArray wrapper;
    wrapper.append(value);
    return QJsonDocument(wrapper).toJson(QJsonDocument::Compact);
}

}
