// Decoding cost of a large list reply (QJsonDocument's parse, then the records read from its
// tree) against QJsonDocument's parse alone. Run by hand: prints "decode/parse ratio: R" (lower
// is better; reading the records should add as little as possible to the parse).

#include "models/apiresponse.h"
#include "models/catalogue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tovra;

namespace {

QByteArray itemJson(int i)
{
    // Shaped like the catalogue's list entries: mostly texts, short arrays, a few numbers, and a
    // member the record does not read.
    QString s = QStringLiteral(
        R"({"did":"%1","title":"流浪地球第%2部","titles":["The Wandering Earth %2","流浪地球%2"],)"
        R"("image":"https://img.example.net/poster/%1.jpg","score":%3,"showdate":"2023-01-%4",)"
        R"("tags":["科幻","冒险","灾难"],"torrent_count":%5,"watch_num":%6,"playable":%7,)"
        R"("episodes":%8,"stars":["吴京","刘德华","李雪健","沙溢","宁理"],"director":["郭帆"],)"
        R"("country":["中国大陆"],"char_date":"2024-06-%4","badge":"HD","alias":"Liu Lang Di Qiu",)"
        R"("rank":%2,"extra":{"source":"bench","weight":0.5}})");
    return s.arg(100000 + i)
        .arg(i)
        .arg(i % 3 == 0 ? QStringLiteral("8") : QString::number(5.0 + (i % 50) / 10.0))
        .arg(10 + i % 18)
        .arg(i % 40)
        .arg(1000 + i * 7)
        .arg(i % 2 ? QStringLiteral("true") : QStringLiteral("false"))
        .arg(i % 30)
        .toUtf8();
}

QByteArray buildReply(qsizetype targetBytes)
{
    QByteArray out = R"({"code":200,"message":"ok","data":[)";
    int i = 0;
    while (out.size() < targetBytes) {
        if (i)
            out += ',';
        out += itemJson(i++);
    }
    out += R"(],"meta":{"page":1,"limit":)" + QByteArray::number(i) + R"(,"total":99999,"pages":3,"has_more":true}})";
    return out;
}

template<class F>
double timed(int times, F &&work)
{
    QElapsedTimer timer;
    timer.start();
    for (int n = 0; n < times; ++n)
        work();
    return double(timer.nsecsElapsed()) / times;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray reply = buildReply(1024 * 1024);

    const auto check = APIResponse<QList<Item>>::decode(reply);
    if (!check || !check->data) {
        std::fprintf(stderr, "reply does not decode: %s\n",
                     check ? "no data" : qPrintable(check.error().description));
        return 1;
    }

    qsizetype sink = 0;
    const auto parseOnce = [&] { sink += QJsonDocument::fromJson(reply).object().size(); };
    const auto decodeOnce = [&] { sink += APIResponse<QList<Item>>::decode(reply)->data->size(); };
    // Reading alone, from a tree parsed once: what the records add to the parse.
    const QJsonValue tree = QJsonDocument::fromJson(reply).object();
    const auto readOnce = [&] { sink += APIResponse<QList<Item>>::fromJson(tree)->data->size(); };

    // Warm every path, then time them in turns: other work on the machine then slows all three
    // alike, and the ratio is taken within each turn.
    timed(3, parseOnce);
    timed(3, decodeOnce);
    timed(3, readOnce);
    const int rounds = 21;
    const int perRound = 5;
    std::vector<double> parse, decode, read, ratio;
    for (int r = 0; r < rounds; ++r) {
        parse.push_back(timed(perRound, parseOnce));
        decode.push_back(timed(perRound, decodeOnce));
        read.push_back(timed(perRound, readOnce));
        ratio.push_back(decode.back() / parse.back());
    }

    std::printf("reply: %lld bytes, %lld items\n", qint64(reply.size()), qint64(check->data->size()));
    std::printf("parse:  %.2f ms (QJsonDocument::fromJson)\n", median(parse) / 1e6);
    std::printf("decode: %.2f ms (parse and records)\n", median(decode) / 1e6);
    std::printf("read:   %.2f ms (records from the parsed tree)\n", median(read) / 1e6);
    std::printf("decode/parse ratio: %.2f\n", median(ratio));
    return sink == 0 ? 1 : 0;
}
