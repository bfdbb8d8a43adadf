#include "models/apiresponse.h"

using namespace Qt::StringLiterals;

namespace tovra {

namespace {
constexpr auto kMetaFields = [](auto &f) {
    f.optional("page"_L1, &Meta::page);
    f.optional("limit"_L1, &Meta::limit);
    f.optional("total"_L1, &Meta::total);
    f.optional("pages"_L1, &Meta::pages);
    f.optional("has_more"_L1, &Meta::hasMore);
    f.optional("query"_L1, &Meta::query);
};
}

Decoded<Meta> Meta::fromJson(const QJsonValue &value)
{
    return json::readRecord<Meta>(value, kMetaFields);
}

}
