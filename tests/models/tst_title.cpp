#include "models/title.h"
#include "modeltesting.h"

#include <QSet>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace Qt::StringLiterals;
using tovra::test::decodeBoth;
using tovra::test::j;
using tovra::test::OptText;

namespace {
QStringList names(const QList<TorrentEntry> &entries)
{
    QStringList out;
    for (const auto &entry : entries)
        out.append(entry.name);
    return out;
}
}

class TitleRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void detailScore_data()
    {
        QTest::addColumn<QByteArray>("score");
        QTest::addColumn<OptText>("expected");

        QTest::newRow("fraction") << "7.5"_ba << OptText(u"7.5"_s);
        QTest::newRow("integral keeps a fraction") << "8"_ba << OptText(u"8.0"_s);
        QTest::newRow("text") << "\"8\""_ba << OptText(u"8"_s);
        QTest::newRow("flag") << "true"_ba << OptText();
        QTest::newRow("missing") << QByteArray() << OptText();
    }

    void detailScore()
    {
        QFETCH(QByteArray, score);
        QFETCH(OptText, expected);
        const QByteArray json = score.isNull() ? "{}"_ba : "{\"score\":" + score + "}";
        const auto detail = decodeBoth<ItemDetail>(json);
        QVERIFY(detail);
        QCOMPARE(detail->score, expected);
    }

    void detailRecord()
    {
        const auto detail = decodeBoth<ItemDetail>(j(
            "{'did':'d','title':'t','adult':false,'text':'简介',"
            "'play_list':[{'episode':1,'did':'d','token':'tk','expired':99}],"
            "'torrents':[{'index':0,'name':'a.mkv','size':'1.2 GB','price':5,'date':'2024','heat':7}],"
            "'interested':[{'did':3}]}"));
        QVERIFY(detail);
        QCOMPARE(detail->playList, (QList<PlayEntry>{{1, u"d"_s, u"tk"_s, 99}}));
        QCOMPARE(detail->torrents.first().price, 5);
        QCOMPARE(detail->torrents.first().size, OptText(u"1.2 GB"_s));
        QCOMPARE(detail->interested.first().did, u"3"_s);
        QVERIFY(detail->tags.isEmpty());
        QCOMPARE(detail->showdate, OptText());

        QVERIFY(!decodeBoth<ItemDetail>(j("{'adult':1}")));
        QVERIFY(!decodeBoth<ItemDetail>(j("{'torrents':[{'name':'no index'}]}")));
        QVERIFY(!decodeBoth<ItemDetail>(j("{'play_list':[{'episode':1,'did':'d','token':'t'}]}")));
    }

    void torrentDefaults()
    {
        QVERIFY(!decodeBoth<Torrent>(j("{'name':'x'}")));
        const auto torrent = decodeBoth<Torrent>(j("{'index':3}"));
        QVERIFY(torrent);
        QCOMPARE(torrent->name, QString());
        QCOMPARE(torrent->price, 0);
        QCOMPARE(torrent->heat, 0);
        QCOMPARE(torrent->size, OptText());
        QCOMPARE(torrent->id(), 3);

        Torrent other = *torrent;
        QCOMPARE(qHash(other), qHash(*torrent));
        other.heat = 1;
        QVERIFY(!(other == *torrent));
    }

    void playAuthNeedsEveryField()
    {
        const auto auth = decodeBoth<PlayAuth>(j("{'url':'https://m/1.m3u8','token':'t','et':5,'l':300}"));
        QVERIFY(auth);
        QCOMPARE(auth->l, 300);
        QVERIFY(!decodeBoth<PlayAuth>(j("{'url':'u','token':'t','et':5}")));
        QVERIFY(!decodeBoth<PlayAuth>(j("{'url':'u','token':'t','et':'5','l':1}")));
    }

    void resourceLinksNeverFail()
    {
        const auto res = decodeBoth<TorrentRes>(j("{'magnet':null,'xl':5}"));
        QVERIFY(res);
        QCOMPARE(res->magnet, QString());
        QCOMPARE(res->xl, QString());
        QCOMPARE(res->bturl, QString());
        QCOMPARE(decodeBoth<TorrentRes>(j("{'magnet':'magnet:?xt=1','bturl':['x']}"))->magnet,
                 u"magnet:?xt=1"_s);
        QVERIFY(!decodeBoth<TorrentRes>(j("[]")));
    }

    void serverTreeIsKept()
    {
        const auto detail = decodeBoth<TorrentDetail>(j(
            "{'files':[{'name':'dir','children':[{'name':'a.mkv','size':'1 GB'}]}],"
            "'list':{'other':[{'name':'x','size':'1'}]}}"));
        QVERIFY(detail);
        QCOMPARE(names(detail->files), QStringList{u"dir"_s});
        QCOMPARE(detail->files.first().children.first().size, u"1 GB"_s);
        QVERIFY(detail->list.has_value());
    }

    void treeFromGroups()
    {
        const auto detail = decodeBoth<TorrentDetail>(j(
            "{'did':'d','files':[],'list':{"
            "'b':[{'name':'b1','size':'1'},{'name':'b2','size':'2'}],"
            "'a':[{'name':'a1','size':'3'}],"
            "'广告 请访问 x':[{'name':'ad','size':'9'}],"
            "'c':[{'name':'请访问 example','size':'4'},{'name':'','size':'5'},{'name':'c1','size':'6'}],"
            "'d':[{'name':'请访问','size':'700 MB'},{'name':'also','size':'1'}],"
            "'e':[{'name':'','size':'8'}],"
            "'f':[]}}"));
        QVERIFY(detail);
        QCOMPARE(names(detail->files), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s}));

        const auto &b = detail->files.at(1);
        QCOMPARE(b.size, QString());
        QCOMPARE(b.children, (QList<TorrentEntry>{{u"b1"_s, u"1"_s, {}}, {u"b2"_s, u"2"_s, {}}}));
        // Advertising and unnamed files go; the group keeps the rest.
        QCOMPARE(names(detail->files.at(2).children), QStringList{u"c1"_s});
        QCOMPARE(detail->files.at(2).size, QString());
        QCOMPARE(names(detail->files.at(3).children), QStringList{u"also"_s});
        // Nothing left to list: the size of the group's first file stands in.
        QCOMPARE(detail->files.at(4).children, QList<TorrentEntry>());
        QCOMPARE(detail->files.at(4).size, u"8"_s);
        // No files at all: no size either.
        QCOMPARE(detail->files.at(5).size, QString());
        // The map itself is kept as it came.
        QCOMPARE(detail->list->size(), 7);
    }

    void groupsInCodePointOrder()
    {
        // U+FF5E sorts before U+1F600 by code point, but after it by UTF-16 unit.
        const QString fullwidth = u"\uFF5E"_s;
        const QString emoji = u"😀"_s;
        QMap<QString, QList<TorrentFile>> groups{{emoji, {}}, {fullwidth, {}}, {u"z"_s, {}}};
        QCOMPARE(names(TorrentDetail::entriesFromGroups(groups)),
                 (QStringList{u"z"_s, fullwidth, emoji}));
        QVERIFY(codePointLess(u"a", u"ab"));
        QVERIFY(!codePointLess(u"ab", u"ab"));
    }

    void unreadableGroups_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("list as array") << j("{'list':[{'name':'a'}]}");
        QTest::newRow("group not an array") << j("{'list':{'a':{'name':'a'}}}");
        QTest::newRow("file not an object") << j("{'list':{'a':['a.mkv']}}");
        QTest::newRow("files not an array, no list") << j("{'files':'x'}");
    }

    void unreadableGroups()
    {
        QFETCH(QByteArray, json);
        const auto detail = decodeBoth<TorrentDetail>(json);
        QVERIFY(detail);
        QVERIFY(!detail->list.has_value());
        QVERIFY(detail->files.isEmpty());
    }

    void unreadableTreeFallsBackToGroups()
    {
        const auto detail = decodeBoth<TorrentDetail>(
            j("{'files':[{'name':'x'},7],'list':{'g':[{'name':'f','size':'1'}]}}"));
        QVERIFY(detail);
        QCOMPARE(names(detail->files), QStringList{u"g"_s});
        // The text fields stay strict.
        QVERIFY(!decodeBoth<TorrentDetail>(j("{'hash':5}")));
    }

    void treeNodes()
    {
        const auto node = decodeBoth<TorrentEntry>(j("{'name':'d','size':3,'children':[{'name':'a'},'x']}"));
        QVERIFY(node);
        QCOMPARE(node->size, QString());
        QVERIFY(node->children.isEmpty());

        const TorrentEntry a{u"d"_s, u""_s, {{u"a"_s, u"1"_s, {}}}};
        TorrentEntry b = a;
        QVERIFY(a == b);
        QCOMPARE(qHash(a), qHash(b));
        b.children[0].size = u"2"_s;
        QVERIFY(!(a == b));
        QCOMPARE(QSet<TorrentEntry>({a, b, a}).size(), 2);
    }

    void deepTreeReads()
    {
        // The nesting the JSON reader allows must not exhaust the stack in the tree reader.
        QByteArray json;
        const int levels = 500;
        for (int i = 0; i < levels; ++i)
            json += "{\"name\":\"n\",\"children\":[";
        json += "{}";
        for (int i = 0; i < levels; ++i)
            json += "]}";
        const auto node = decodeBoth<TorrentEntry>(json);
        QVERIFY(node);
        QCOMPARE(node->children.size(), 1);
    }
};

TOVRA_TEST(TitleRecordsTest)
#include "tst_title.moc"
