#include "fuzzseeds.h"

namespace tovra::test::seeds {

using namespace Qt::StringLiterals;

namespace {

QByteArray envelope(const QByteArray &data, const QByteArray &meta = {})
{
    QByteArray out = R"({"code":200,"message":"ok","data":)" + data;
    if (!meta.isEmpty())
        out += R"(,"meta":)" + meta;
    return out + '}';
}

const QByteArray kMeta = R"({"page":1,"limit":20,"total":95,"pages":5,"has_more":true,"query":"星"})";
const QByteArray kUser = R"({"uid":"7","nickname":"小明","gold":12,"vip_level":1,"vip_expired":1767225600,"is_vip":true,"photo":"https://img.example/a.jpg"})";
const QByteArray kItem = R"({"did":"d1","title":"星际穿越","titles":["Interstellar"],"image":"https://img.example/p.jpg","score":"9.4","showdate":"2014","tags":["科幻","冒险"],"torrent_count":12,"watch_num":300,"playable":true,"episodes":1,"stars":["马修"],"director":["诺兰"],"country":["美国"],"char_date":"11-12","badge":"4K","alias":"星际"})";
const QByteArray kRank = R"({"did":"d1","title":"星际","image":"https://img.example/p.jpg","count":5,"watch_num":9})";
const QByteArray kNav = R"({"id":"c1","name":"电影","icon":"film","url":"https://www.example/ranking","external":false,"new_count":3})";
const QByteArray kTorrent = R"({"index":0,"name":"Interstellar.2014.2160p.mkv","size":"58.3 GB","price":0,"date":"2024-01-01","heat":12})";
const QByteArray kPlay = R"({"episode":1,"did":"d1","token":"tk","expired":1700000000})";
const QByteArray kPost = R"({"did":"p1","uid":3,"content":"<p>好片</p>","nickname":"甲","photo":"https://img.example/u.jpg","images":["https://img.example/1.jpg"],"videos":[],"audios":[],"torrents":[{"url":"magnet:?xt=urn:btih:abc","name":"a.torrent"}],"created":1700000000,"comments_num":1,"download_num":2,"watch_num":3,"likes_num":4,"liked":false})";

}

QList<QByteArray> records(const char *name)
{
    const QByteArray which(name);
    if (which == "User")
        return {envelope(kUser), envelope(R"({"uid":"8","nickname":null,"gold":3,"vip_level":0,"vip_expired":0,"is_vip":false})")};
    if (which == "LoginResult")
        return {envelope(R"({"token":"abc.def","uid":"7","nickname":"小明","gold":1,"vip_level":0,"vip_expired":0})")};
    if (which == "SignStatus")
        return {envelope(R"({"signed":true,"days":3,"last_time":1700000000})")};
    if (which == "SignResult")
        return {envelope(R"({"signed":true,"gold":5,"total":120})")};
    if (which == "ExchangeResult")
        return {envelope(R"({"gold":10,"vip_expired":1767225600})")};
    if (which == "UnreadCount")
        return {envelope(R"({"reply":1,"like":2,"board":0,"total":3})")};
    if (which == "PhotoResult")
        return {envelope(R"({"photo":"new.jpg","photo_url":"https://img.example/new.jpg"})")};
    if (which == "GoldLog")
        return {envelope(R"([{"type":"sign","type_name":"签到","sign":"+","explain":"每日签到","gold":5,"balance":120,"created":1700000000}])", kMeta)};
    if (which == "WatchingItem")
        return {envelope(R"([{"did":"d1","title":"星际","image":"https://img.example/p.jpg","episode":2,"pos":120,"duration":3600,"token":"tk","expired":1700000000}])")};
    if (which == "MessageData")
        return {envelope(R"({"notice":{"list":[{"type":"reply","actor":{"uid":1,"nickname":"甲","img":"https://img.example/u.jpg"},"content":"<img alt=\"笑\">好","target":{"cid":1,"content":"原文","type":"comment","sid":2,"did":"d1"},"dateshow":"刚刚","created":1700000000,"did":"d1","unread":true}],"total":1,"titles":{"d1":"星际"}},"board":[{"id":1,"content":"留言","created":1700000000,"reply":{"name":"站长","time":"今天","message":"谢谢"}}],"board_total":1,"board_has_more":false,"unread":1,"tab":"notice","type":"reply","page":1})")};
    if (which == "Empty")
        return {R"({"code":200,"message":"ok"})", envelope("null")};
    if (which == "HomeData")
        return {envelope("{\"hot\":[" + kRank + "],\"follow\":[" + kItem + "],\"erotica\":[],\"tv\":[" + kItem + "],\"new\":[],\"list\":[" + kItem + "],\"category_ero\":\"成人\",\"category_tv\":\"剧集\",\"more_tv\":\"剧集\",\"year\":\"2024\",\"date\":\"2024-01-01\"}")};
    if (which == "ItemDetail")
        return {envelope(R"({"did":"d1","title":"星际穿越","titles":["Interstellar"],"image":"https://img.example/p.jpg","tags":["科幻"],"director":["诺兰"],"stars":["马修"],"country":["美国"],"showdate":"2014-11-12","score":"9.4","updated":"2024-01-01","text":"<p>简介<br/>第二行</p>","adult":false,"play_list":[)" + kPlay + "],\"torrents\":[" + kTorrent + R"(],"alias":"星际","interested":[)" + kItem + "]}")};
    if (which == "TorrentDetail")
        return {envelope(R"({"did":"d1","title":"星际","name":"Interstellar","size":"58 GB","magnet":"magnet:?xt=urn:btih:abc","hash":"abc","files":[{"name":"a.mkv","size":"1 GB","children":[{"name":"b.srt","size":"1 KB"}]}],"list":[{"name":"a.mkv","size":"1 GB"}]})")};
    if (which == "TorrentRes")
        return {envelope(R"({"magnet":"magnet:?xt=urn:btih:abc","xl":"thunder://QUFodHRw","bturl":"https://dl.example/a.torrent","url":"https://dl.example/a.torrent"})")};
    if (which == "Item")
        return {envelope("[" + kItem + "," + kItem + "]", kMeta), envelope(R"([{"did":"x"}])")};
    if (which == "Tag")
        return {envelope(R"([{"id":"1","name":"科幻"},{"id":2,"name":"动作"}])")};
    if (which == "NavItem")
        return {envelope("[" + kNav + R"(,{"id":"c2","name":"榜单","url":"https://www.example/top250","external":true}])")};
    if (which == "FilterOptions")
        return {envelope(R"({"column":[{"id":"1","name":"电影"}],"country":[{"value":1,"label":"美国"}],"year":[{"value":2024,"label":"2024"}],"sort":["new","hot"],"isbt":["1"],"isplay":["0"]})")};
    if (which == "RankItem")
        return {envelope("[" + kRank + "]")};
    if (which == "WebCookie")
        return {envelope(R"({"name":"sid","value":"abc","domain":".example","expires":1767225600,"cookies":[{"name":"a","value":"1"},{"name":"b","value":"2"}]})"),
                envelope(R"({"name":"sid","value":"abc","domain":".example","expires":0})")};
    if (which == "BbsPost")
        return {envelope("[" + kPost + "]", kMeta)};
    if (which == "BbsLikeResult")
        return {envelope(R"({"did":"p1","liked":true,"likes_num":5})")};
    if (which == "UpdateInfo")
        return {envelope(R"({"has_update":true,"force":false,"version":"1.2.0","build":12,"url":"https://dl.example/c.tar.gz","size":1048576,"notes":"修复","published":"2024-01-01","sha256":"00"})")};
    if (which == "PlayAuth")
        return {envelope(R"({"url":"https://media.example/v/index.m3u8","token":"tk","et":300,"l":1})")};
    if (which == "SuggestItem")
        return {R"({"hits":[{"did":"d1","title":"星际","showdate":"2014","score":"9.4","torrents":3,"stars":["马修"],"_formatted":{"title":"<b>星际</b>","stars":["<b>马</b>修"]}}]})"};
    return {};
}

QList<QByteArray> jsonTokens()
{
    return {"{", "}", "[", "]", ",", ":", "\"", "null", "true", "false", "0", "-1", "1e999", "-0", "0.5",
            "9223372036854775808", "\"\\ud800\"", "\"\\udc00x\"", "\"\\u0000\"", "\"code\"", "\"data\"",
            "\"message\"", "200", "\"did\"", "\\", "\xff", "\xe6\x98", "{\"a\":", "[[[[", "]]]]"};
}

QList<QString> textTokens()
{
    return {u"<img"_s, u" alt=\""_s, u"\""_s, u">"_s, u"<"_s, u"<br"_s, u"<br />"_s, u"</p>"_s,
            u"&nbsp;"_s, u"&amp;"_s, u"&lt;"_s, u"<b>"_s, u"</b>"_s, u"\n"_s, u"\r\n"_s, u"\u2028"_s,
            QString(QChar(0xD800)), QString(QChar(0xDC00)), QString(QChar(0)), u".."_s, u"/"_s, u"\\"_s,
            u"%"_s, u"?"_s, u"&"_s, u"="_s, u"_"_s, u"#EXT-X-STREAM-INF:"_s, u"BANDWIDTH="_s,
            u"RESOLUTION=1920x1080"_s, u","_s, u"http://"_s, u"https://"_s, u"file:///etc/passwd"_s,
            u"javascript:"_s, u"magnet:?xt="_s, u"thunder://"_s, u" "_s, u"\t"_s, u"\u200B"_s,
            u"\u202E"_s, u"星"_s, u"\U0001F3AC"_s, u"\u0301"_s, u";"_s, u"."_s};
}

}
