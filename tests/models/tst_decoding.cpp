#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "modeltesting.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace Qt::StringLiterals;
using tovra::test::decodeBoth;
using tovra::test::lenientOn;
using tovra::test::OptText;
using OptInt = std::optional<qint64>;

Q_DECLARE_METATYPE(OptInt)

// The envelope, the shared field readings, the lenient readers and the failure texts.
class DecodingTest : public QObject
{
    Q_OBJECT

private slots:
    void envelopeShape_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<bool>("hasData");
        QTest::addColumn<bool>("hasMeta");

        QTest::newRow("no data") << test::j("{'code':200,'message':'ok'}") << true << false << false;
        QTest::newRow("data null") << test::j("{'code':200,'message':'','data':null}") << true << false << false;
        QTest::newRow("data object") << test::j("{'code':200,'message':'','data':{'x':[1]}}") << true << true << false;
        QTest::newRow("data array") << test::j("{'code':200,'message':'','data':[1,'a']}") << true << true << false;
        QTest::newRow("data string") << test::j("{'code':200,'message':'','data':'x'}") << true << true << false;
        QTest::newRow("data number") << test::j("{'code':200,'message':'','data':3.5}") << true << true << false;
        QTest::newRow("meta null") << test::j("{'code':200,'message':'','meta':null}") << true << false << false;
        QTest::newRow("meta empty") << test::j("{'code':200,'message':'','meta':{}}") << true << false << true;
        QTest::newRow("has_more 1") << test::j("{'code':200,'message':'','meta':{'has_more':1}}") << false << false << false;
        QTest::newRow("meta array") << test::j("{'code':200,'message':'','meta':[]}") << false << false << false;
        QTest::newRow("code as text") << test::j("{'code':'200','message':''}") << false << false << false;
        QTest::newRow("code integral double") << test::j("{'code':200.0,'message':''}") << true << false << false;
        QTest::newRow("code missing") << test::j("{'message':''}") << false << false << false;
        QTest::newRow("code null") << test::j("{'code':null,'message':''}") << false << false << false;
        QTest::newRow("message missing") << test::j("{'code':200}") << false << false << false;
        QTest::newRow("message number") << test::j("{'code':200,'message':5}") << false << false << false;
        QTest::newRow("error reply") << test::j("{'code':401,'message':'未登录','data':null}") << true << false << false;
        QTest::newRow("top-level array") << test::j("[{'code':200,'message':''}]") << false << false << false;
        QTest::newRow("empty") << ""_ba << false << false << false;
        QTest::newRow("html") << "<html>502</html>"_ba << false << false << false;
        QTest::newRow("trailing garbage") << test::j("{'code':200,'message':''} x") << false << false << false;
        QTest::newRow("trailing space") << "{\"code\":200,\"message\":\"\"}\r\n "_ba << true << false << false;
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF{\"code\":200,\"message\":\"\"}"_ba << true << false << false;
        QTest::newRow("truncated") << test::j("{'code':200,'message':'o") << false << false << false;
        QTest::newRow("unknown members") << test::j("{'x':{'y':[1,{'z':null}]},'code':200,'message':'','extra':true}") << true << false << false;
    }

    void envelopeShape()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, reads);
        QFETCH(bool, hasData);
        QFETCH(bool, hasMeta);

        const auto reply = APIResponse<Empty>::decode(json);
        QCOMPARE(reply.has_value(), reads);
        if (!reads) {
            QVERIFY(!reply.error().description.isEmpty());
            return;
        }
        QCOMPARE(reply->data.has_value(), hasData);
        QCOMPARE(reply->meta.has_value(), hasMeta);

        // A value QJsonDocument already parsed reads the same way.
        const auto again = APIResponse<Empty>::fromJson(QJsonDocument::fromJson(json).object());
        QVERIFY(again.has_value());
        QCOMPARE(again->data.has_value(), hasData);
    }

    void envelopeFields()
    {
        const auto reply = APIResponse<QList<Item>>::decode(
            test::j("{'code':200,'message':'好','data':[{'did':'a'}],"
                    "'meta':{'page':2,'limit':30,'total':61,'pages':3,'has_more':true,'query':'x'}}"));
        QVERIFY(reply);
        QCOMPARE(reply->code, 200);
        QCOMPARE(reply->message, u"好"_s);
        QCOMPARE(reply->data->size(), 1);
        QCOMPARE(reply->data->first().did, u"a"_s);
        const Meta expected{2, 30, 61, 3, true, u"x"_s};
        QVERIFY(reply->meta == expected);
    }

    void oneBadElementFailsTheList()
    {
        const auto reply = APIResponse<QList<Item>>::decode(
            test::j("{'code':200,'message':'','data':[{'did':'a'},{'did':'b','playable':1}]}"));
        QVERIFY(!reply);
        // Says where reading stopped.
        QVERIFY2(reply.error().description.contains(u"data[1].playable"_s),
                 qPrintable(reply.error().description));

        QVERIFY(!APIResponse<QList<Item>>::decode(test::j("{'code':200,'message':'','data':[{},null]}")));
    }

    void integers_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<OptInt>("expected");  // absent: the record fails

        QTest::newRow("plain") << "7"_ba << OptInt(7);
        QTest::newRow("negative") << "-12"_ba << OptInt(-12);
        QTest::newRow("integral double") << "7.0"_ba << OptInt(7);
        QTest::newRow("exponent") << "1e2"_ba << OptInt(100);
        QTest::newRow("minus zero") << "-0"_ba << OptInt(0);
        QTest::newRow("max") << "9223372036854775807"_ba << OptInt(std::numeric_limits<qint64>::max());
        QTest::newRow("min") << "-9223372036854775808"_ba << OptInt(std::numeric_limits<qint64>::min());
        QTest::newRow("max + 1") << "9223372036854775808"_ba << OptInt();
        QTest::newRow("2^63 as double") << "9.2233720368547758e18"_ba << OptInt();
        QTest::newRow("1e19") << "1e19"_ba << OptInt();
        QTest::newRow("fraction") << "7.5"_ba << OptInt();
        QTest::newRow("text") << "\"7\""_ba << OptInt();
        QTest::newRow("flag") << "true"_ba << OptInt();
        QTest::newRow("array") << "[7]"_ba << OptInt();
    }

    void integers()
    {
        QFETCH(QByteArray, value);
        QFETCH(OptInt, expected);
        const auto meta = decodeBoth<Meta>("{\"page\":" + value + "}");
        QCOMPARE(meta.has_value(), expected.has_value());
        if (expected)
            QCOMPARE(meta->page, expected);
    }

    void flags_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<bool>("flag");

        QTest::newRow("true") << "true"_ba << true << true;
        QTest::newRow("false") << "false"_ba << true << false;
        QTest::newRow("1") << "1"_ba << false << false;
        QTest::newRow("0") << "0"_ba << false << false;
        QTest::newRow("text") << "\"true\""_ba << false << false;
    }

    void flags()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, reads);
        QFETCH(bool, flag);
        const auto meta = decodeBoth<Meta>("{\"has_more\":" + value + "}");
        QCOMPARE(meta.has_value(), reads);
        if (reads)
            QCOMPARE(meta->hasMore, std::optional<bool>(flag));
    }

    void flexibleText_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<OptText>("expected");

        QTest::newRow("text") << "\"abc\""_ba << OptText(u"abc"_s);
        QTest::newRow("empty text") << "\"\""_ba << OptText(u""_s);
        QTest::newRow("integer") << "123"_ba << OptText(u"123"_s);
        QTest::newRow("integral double") << "123.0"_ba << OptText(u"123"_s);
        QTest::newRow("negative") << "-3"_ba << OptText(u"-3"_s);
        QTest::newRow("zero") << "0"_ba << OptText(u"0"_s);
        QTest::newRow("8.0") << "8.0"_ba << OptText(u"8"_s);
        QTest::newRow("8.5") << "8.5"_ba << OptText(u"8.5"_s);
        QTest::newRow("0.25") << "0.25"_ba << OptText(u"0.25"_s);
        QTest::newRow("0.1") << "0.1"_ba << OptText(u"0.1"_s);
        QTest::newRow("small") << "0.00001"_ba << OptText(u"1e-05"_s);
        QTest::newRow("0.0001") << "0.0001"_ba << OptText(u"0.0001"_s);
        QTest::newRow("large integer") << "9007199254740993"_ba << OptText(u"9007199254740993"_s);
        QTest::newRow("1e19") << "1e19"_ba << OptText();
        QTest::newRow("true") << "true"_ba << OptText();
        QTest::newRow("null") << "null"_ba << OptText();
        QTest::newRow("array") << "[\"a\"]"_ba << OptText();
        QTest::newRow("object") << "{\"a\":1}"_ba << OptText();
    }

    void flexibleText()
    {
        QFETCH(QByteArray, value);
        QFETCH(OptText, expected);
        QCOMPARE(lenientOn(value, json::flexible), expected);
        QCOMPARE(Item::flexibleString(test::objectWith(value), "k"_L1), expected);
        QCOMPARE(Item::flexibleString(test::objectWith(value), u"k"_s), expected);
        QCOMPARE(Item::flexibleString(test::objectWith(value), "missing"_L1), OptText());
    }

    void oneDecimalText_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<OptText>("expected");

        QTest::newRow("integer") << "8"_ba << OptText(u"8"_s);
        QTest::newRow("8.5") << "8.5"_ba << OptText(u"8.5"_s);
        QTest::newRow("9.16") << "9.16"_ba << OptText(u"9.2"_s);
        // printf rounds the binary value: 9.95 is just below 9.95, 0.25 is a tie to even.
        QTest::newRow("9.95") << "9.95"_ba << OptText(u"9.9"_s);
        QTest::newRow("0.25") << "0.25"_ba << OptText(u"0.2"_s);
        QTest::newRow("9.96") << "9.96"_ba << OptText(u"10.0"_s);
        QTest::newRow("text") << "\"7.77\""_ba << OptText(u"7.77"_s);
        QTest::newRow("flag") << "false"_ba << OptText();
    }

    void oneDecimalText()
    {
        QFETCH(QByteArray, value);
        QFETCH(OptText, expected);
        QCOMPARE(lenientOn(value, json::oneDecimal), expected);
    }

    void textOrInteger_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<OptText>("expected");

        QTest::newRow("number") << "7"_ba << OptText(u"7"_s);
        QTest::newRow("leading zero text") << "\"07\""_ba << OptText(u"07"_s);
        QTest::newRow("integral double") << "7.0"_ba << OptText(u"7"_s);
        QTest::newRow("fraction") << "7.5"_ba << OptText();
        QTest::newRow("null") << "null"_ba << OptText();
        QTest::newRow("flag") << "true"_ba << OptText();
        QTest::newRow("object") << "{}"_ba << OptText();
    }

    void textOrInteger()
    {
        QFETCH(QByteArray, value);
        QFETCH(OptText, expected);
        QCOMPARE(lenientOn(value, json::textOrIntegerRule), expected);
        QCOMPARE(json::textOrInteger(test::objectWith(value), "k"_L1), expected);
    }

    void integerOrText_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<OptInt>("expected");

        QTest::newRow("number") << "42"_ba << OptInt(42);
        QTest::newRow("text") << "\"42\""_ba << OptInt(42);
        QTest::newRow("plus") << "\"+7\""_ba << OptInt(7);
        QTest::newRow("minus") << "\"-3\""_ba << OptInt(-3);
        QTest::newRow("leading space") << "\" 4\""_ba << OptInt();
        QTest::newRow("trailing space") << "\"4 \""_ba << OptInt();
        QTest::newRow("point") << "\"4.2\""_ba << OptInt();
        QTest::newRow("exponent") << "\"4e2\""_ba << OptInt();
        QTest::newRow("empty") << "\"\""_ba << OptInt();
        QTest::newRow("sign only") << "\"-\""_ba << OptInt();
        QTest::newRow("two signs") << "\"+-1\""_ba << OptInt();
        QTest::newRow("fullwidth digit") << "\"\xEF\xBC\x91\""_ba << OptInt();
        QTest::newRow("text max") << "\"9223372036854775807\""_ba << OptInt(std::numeric_limits<qint64>::max());
        QTest::newRow("text min") << "\"-9223372036854775808\""_ba << OptInt(std::numeric_limits<qint64>::min());
        QTest::newRow("text beyond 64 bits") << "\"9223372036854775808\""_ba << OptInt();
        QTest::newRow("text below 64 bits") << "\"-9223372036854775809\""_ba << OptInt();
        QTest::newRow("fraction") << "4.5"_ba << OptInt();
        QTest::newRow("flag") << "true"_ba << OptInt();
    }

    void integerOrText()
    {
        QFETCH(QByteArray, value);
        QFETCH(OptInt, expected);
        QCOMPARE(lenientOn(value, json::integerOrTextRule), expected);
        QCOMPARE(json::integerOrText(test::objectWith(value), "k"_L1), expected);
    }

    void textOrDouble_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<OptText>("expected");

        QTest::newRow("integer") << "8"_ba << OptText(u"8.0"_s);
        QTest::newRow("integral double") << "8.0"_ba << OptText(u"8.0"_s);
        QTest::newRow("fraction") << "7.5"_ba << OptText(u"7.5"_s);
        QTest::newRow("negative") << "-2"_ba << OptText(u"-2.0"_s);
        QTest::newRow("small") << "0.00001"_ba << OptText(u"1e-05"_s);
        QTest::newRow("text") << "\"8\""_ba << OptText(u"8"_s);
        QTest::newRow("false") << "false"_ba << OptText();
        QTest::newRow("null") << "null"_ba << OptText();
    }

    void textOrDouble()
    {
        QFETCH(QByteArray, value);
        QFETCH(OptText, expected);
        QCOMPARE(lenientOn(value, json::textOrDoubleRule), expected);
        QCOMPARE(json::textOrDouble(test::objectWith(value), "k"_L1), expected);
    }

    // What users read after "数据解析失败：" says what broke and where.
    void failureDescriptions_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("description");  // "偏移 n": where the parser stopped

        QTest::newRow("truncated") << test::j("{'code':200,'message':'o")
                                   << u"不是有效的 JSON（文本未结束，偏移 n）"_s;
        QTest::newRow("trailing garbage") << test::j("{'code':200,'message':''} x")
                                          << u"不是有效的 JSON（文档结尾有多余内容，偏移 n）"_s;
        QTest::newRow("html") << "<html>502</html>"_ba << u"不是有效的 JSON（无效的值，偏移 n）"_s;
        QTest::newRow("top-level array") << "[]"_ba << u"回复不是 JSON 对象"_s;
        QTest::newRow("code missing") << test::j("{'message':''}")
                                      << u"缺少必需的值（位置：code）"_s;
        QTest::newRow("code null") << test::j("{'code':null,'message':''}")
                                   << u"缺少必需的值（位置：code）"_s;
        QTest::newRow("code as text") << test::j("{'code':'200','message':''}")
                                      << u"类型不符：应为整数，实际为文本（位置：code）"_s;
        QTest::newRow("code fraction") << test::j("{'code':200.5,'message':''}")
                                       << u"类型不符：应为 64 位整数，实际为 200.5（位置：code）"_s;
        QTest::newRow("meta not an object") << test::j("{'code':200,'message':'','meta':[]}")
                                            << u"类型不符：应为对象，实际为数组（位置：meta）"_s;
        QTest::newRow("nested element")
            << test::j("{'code':200,'message':'','data':[{'did':'a'},{'did':'b','tags':['x',1]}]}")
            << u"类型不符：应为文本，实际为数字（位置：data[1].tags[1]）"_s;
    }

    void failureDescriptions()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, description);
        const auto reply = APIResponse<QList<Item>>::decode(json);
        QVERIFY(!reply);
        QString actual = reply.error().description;
        static const QRegularExpression offset(u"偏移 \\d+"_s);
        actual.replace(offset, u"偏移 n"_s);
        QCOMPARE(actual, description);
    }

    // Cache entries and replies may be handed over as a view into a larger buffer.
    void readsOnlyTheBytesGiven()
    {
        const QByteArray buffer = test::j("{'page':3}{'page':4}");
        const auto meta = json::decodeDocument<Meta>(QByteArrayView(buffer).first(10));
        QVERIFY(meta);
        QCOMPARE(meta->page, OptInt(3));
        QVERIFY(!json::decodeDocument<Meta>(buffer));
        QVERIFY(!json::decodeDocument<Meta>(QByteArrayView(buffer).first(9)));
    }

    void textsDecodeExactly()
    {
        const auto reply = APIResponse<QList<QString>>::decode(
            test::j("{'code':200,'message':'','data':['a\\'b','\\\\','\\u00e9','\\ud83d\\ude00','中\\/文','\\ud800x']}"));
        QVERIFY(reply);
        const QStringList expected{u"a\"b"_s, u"\\"_s, u"é"_s, u"😀"_s, u"中/文"_s,
                                   QString(QChar(0xD800)) + u'x'};
        QCOMPARE(*reply->data, expected);
    }

    void memberNamesWithEscapes()
    {
        const auto reply = APIResponse<Empty>::decode(test::j("{'co\\u0064e':201,'message':''}"));
        QVERIFY(reply);
        QCOMPARE(reply->code, 201);
    }

    // A repeated member counts by its last value, whichever way the reply comes in.
    void repeatedMemberKeepsTheLast_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<qint64>("code");  // 0: the reply fails

        QTest::newRow("good then good") << test::j("{'code':1,'message':'','code':200}") << qint64(200);
        QTest::newRow("bad then good") << test::j("{'code':'x','message':'','code':201}") << qint64(201);
        QTest::newRow("good then bad") << test::j("{'code':200,'message':'','code':'x'}") << qint64(0);
        QTest::newRow("good then null") << test::j("{'code':200,'message':'','code':null}") << qint64(0);
        QTest::newRow("bad nested then good")
            << test::j("{'code':202,'message':'','meta':{'page':'1'},'meta':{'page':1}}") << qint64(202);
    }

    void repeatedMemberKeepsTheLast()
    {
        QFETCH(QByteArray, json);
        QFETCH(qint64, code);
        const auto reply = APIResponse<Empty>::decode(json);
        QCOMPARE(reply.has_value(), code != 0);
        if (reply)
            QCOMPARE(reply->code, code);
        QCOMPARE(decodeBoth<APIResponse<Empty>>(json).has_value(), code != 0);
    }

    void numberTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shortest");

        QTest::newRow("integral") << 8.0 << u"8.0"_s;
        QTest::newRow("half") << 7.5 << u"7.5"_s;
        QTest::newRow("tenth") << 0.1 << u"0.1"_s;
        QTest::newRow("third") << 1.0 / 3 << u"0.3333333333333333"_s;
        QTest::newRow("negative") << -2.25 << u"-2.25"_s;
        QTest::newRow("threshold") << 0.0001 << u"0.0001"_s;
        QTest::newRow("below threshold") << 0.00001 << u"1e-05"_s;
        QTest::newRow("below threshold, digits") << 0.000015 << u"1.5e-05"_s;
        QTest::newRow("zero") << 0.0 << u"0.0"_s;
    }

    void numberTexts()
    {
        QFETCH(double, value);
        QFETCH(QString, shortest);
        QCOMPARE(json::doubleText(value), shortest);
        // Shortest means it reads back as the same double.
        QCOMPARE(shortest.toDouble(), value);
    }
};

TOVRA_TEST(DecodingTest)
#include "tst_decoding.moc"
