#include "models/decoding.h"

#include <charconv>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tovra::json {

namespace {

const QString kWhereOpen = u"（位置："_s;
constexpr QChar kWhereClose = u'）';

QString kindName(QJsonValue::Type type)
{
    switch (type) {
    case QJsonValue::Null: return u"null"_s;
    case QJsonValue::Bool: return u"布尔值"_s;
    case QJsonValue::Double: return u"数字"_s;
    case QJsonValue::String: return u"文本"_s;
    case QJsonValue::Array: return u"数组"_s;
    case QJsonValue::Object: return u"对象"_s;
    case QJsonValue::Undefined: break;
    }
    return u"无效的值"_s;
}

// Why QJsonDocument gave up, in the words users see.
QString parseFailure(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::NoError: break;
    case QJsonParseError::UnterminatedObject: return u"对象未结束"_s;
    case QJsonParseError::MissingNameSeparator: return u"成员名后缺少冒号"_s;
    case QJsonParseError::UnterminatedArray: return u"数组未结束"_s;
    case QJsonParseError::MissingValueSeparator: return u"缺少逗号"_s;
    case QJsonParseError::IllegalValue: return u"无效的值"_s;
    case QJsonParseError::TerminationByNumber: return u"文档在数字处意外结束"_s;
    case QJsonParseError::IllegalNumber: return u"无效的数字"_s;
    case QJsonParseError::IllegalEscapeSequence: return u"无效的转义"_s;
    case QJsonParseError::IllegalUTF8String: return u"无效的 UTF-8 文本"_s;
    case QJsonParseError::UnterminatedString: return u"文本未结束"_s;
    case QJsonParseError::MissingObject: return u"顶层应为对象或数组"_s;
    case QJsonParseError::DeepNesting: return u"嵌套过深"_s;
    case QJsonParseError::DocumentTooLarge: return u"文档过大"_s;
    case QJsonParseError::GarbageAtEnd: return u"文档结尾有多余内容"_s;
    }
    return u"无法解析"_s;
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

DecodeError wrongType(QStringView expected, QJsonValue::Type actual)
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

DecodeError syntaxError(const QJsonParseError &error)
{
    return {u"不是有效的 JSON（%1，偏移 %2）"_s.arg(parseFailure(error.error)).arg(error.offset)};
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

std::optional<qint64> Number::asInteger() const
{
    if (isInteger)
        return integer;
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (value >= -kTwoTo63 && value < kTwoTo63 && std::trunc(value) == value)
        return static_cast<qint64>(value);
    return std::nullopt;
}

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

// ---- Documents --------------------------------------------------------------------------------

Decoded<QJsonDocument> parseDocument(QByteArrayView bytes)
{
    // The parser reads the bytes where they are; nothing is copied.
    const QByteArray raw = QByteArray::fromRawData(bytes.data(), bytes.size());
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(raw, &error);
    if (error.error != QJsonParseError::NoError)
        return std::unexpected(syntaxError(error));
    return document;
}

}
