#pragma once

#include "models/decoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace tovra::test {

// JSON written with single quotes, which read better inside C++ strings: every ' becomes ".
inline QByteArray j(const char *text)
{
    QByteArray json(text);
    json.replace('\'', '"');
    return json;
}

// Reads T from JSON text both ways the client reads records: from reply bytes, and from a value
// QJsonDocument already parsed. The two must agree on success; the bytes' result is returned.
template<class T>
Decoded<T> decodeBoth(const QByteArray &json)
{
    auto fromBytes = json::decodeDocument<T>(json);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error == QJsonParseError::NoError) {
        const QJsonValue value = document.isArray() ? QJsonValue(document.array())
                                                    : QJsonValue(document.object());
        const auto fromValue = readJson<T>(value);
        if (fromValue.has_value() != fromBytes.has_value()) {
            QTest::qFail(qPrintable(QStringLiteral("bytes and parsed value disagree on %1")
                                        .arg(QString::fromUtf8(json))),
                         __FILE__, __LINE__);
        }
    }
    return fromBytes;
}

// Applies a lenient reader to the single value in `json` (any JSON value text), both as a value
// on its own and as an element of its array; the two must agree.
template<class Rule>
auto lenientOn(const QByteArray &json, const Rule &rule)
{
    const QJsonArray array = QJsonDocument::fromJson('[' + json + ']').array();
    if (array.size() != 1)
        QTest::qFail("the test value is not one JSON value", __FILE__, __LINE__);
    const QJsonValue value = array.at(0);
    auto result = rule(value);
    if (rule(*array.constBegin()) != result)
        QTest::qFail("the reader answers differently for an array element", __FILE__, __LINE__);
    return result;
}

// The same value as a member of a parsed object, for the readers that take an object and key.
inline QJsonObject objectWith(const QByteArray &valueJson)
{
    return QJsonDocument::fromJson("{\"k\":" + valueJson + "}").object();
}

}

// Absent and present optionals compare in failure messages as text.
namespace QTest {
template<>
inline char *toString(const std::optional<QString> &value)
{
    return value ? QTest::toString(*value) : qstrdup("<absent>");
}
template<>
inline char *toString(const std::optional<qint64> &value)
{
    return value ? QTest::toString(*value) : qstrdup("<absent>");
}
}

namespace tovra::test {
// The optional texts that many record fields are, as a data-table column.
using OptText = std::optional<QString>;
}

Q_DECLARE_METATYPE(tovra::test::OptText)
