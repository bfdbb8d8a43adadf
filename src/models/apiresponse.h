#pragma once

#include "models/decoding.h"

#include <QByteArray>

namespace tovra {

// The paging block of list replies.
struct Meta
{
    std::optional<qint64> page;
    std::optional<qint64> limit;
    std::optional<qint64> total;
    std::optional<qint64> pages;
    std::optional<bool> hasMore;
    std::optional<QString> query;

    static Decoded<Meta> fromJson(const QJsonValue &value);
    friend bool operator==(const Meta &, const Meta &) = default;
};

// The payload of calls whose reply carries nothing of use: whatever "data" holds is accepted.
struct Empty
{
    static Decoded<Empty> fromJson(const QJsonValue &) { return Empty{}; }
    friend bool operator==(const Empty &, const Empty &) = default;
};

// The envelope of every API reply. Whether it counts as a success (code 200, and data unless
// the payload is Empty) is the request pipeline's decision; reading only checks the shape.
template<class T>
struct APIResponse
{
    qint64 code = 0;
    QString message;
    std::optional<T> data;
    std::optional<Meta> meta;

    template<class F>
    static void fields(F &f)
    {
        f.required(QLatin1StringView("code"), &APIResponse::code);
        f.required(QLatin1StringView("message"), &APIResponse::message);
        f.optional(QLatin1StringView("data"), &APIResponse::data);
        f.optional(QLatin1StringView("meta"), &APIResponse::meta);
    }

    static Decoded<APIResponse> fromJson(const QJsonValue &value)
    {
        return json::readRecord<APIResponse>(value, [](auto &f) { fields(f); });
    }

    // The whole reply: valid JSON, an object at the top, and every strict field in shape.
    static Decoded<APIResponse> decode(QByteArrayView bytes)
    {
        const auto document = json::parseDocument(bytes);
        if (!document)
            return std::unexpected(document.error());
        if (!document->isObject())
            return std::unexpected(json::documentNotObject());
        return json::readObject<APIResponse>(document->object(), [](auto &f) { fields(f); });
    }
};

}
