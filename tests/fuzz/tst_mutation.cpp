#include "models/account.h"
#include "models/webaddress.h"
#include "models/apiresponse.h"
#include "models/catalogue.h"
#include "models/community.h"
#include "models/detaillogic.h"
#include "models/downloadlogic.h"
#include "models/hlsplaylist.h"
#include "models/jsonwriter.h"
#include "models/markedtext.h"
#include "models/messagelogic.h"
#include "models/communitylogic.h"
#include "models/playerlogic.h"
#include "models/title.h"
#include "models/webpagelogic.h"
#include "network/apiclient.h"
#include "network/imageloader.h"
#include "network/diskcache.h"

#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <functional>

#include "fuzzseeds.h"
#include "mutator.h"
#include "threadclock.h"
#include "support/testmain.h"

using namespace Qt::StringLiterals;
using namespace tovra;
using tovra::test::Mutator;
using tovra::test::threadCpuNs;

namespace {

// Every input must be handled within this; the whole run stays under a minute on two cores.
// Code built with the sanitizers runs several times slower, so it gets more.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kBudgetNs = 500'000'000;
#else
constexpr qint64 kBudgetNs = 100'000'000;
#endif
constexpr int kInputsPerTarget = 4000;
constexpr quint32 kSeed = 20261207;

// A check answers an empty text, or what is wrong with the output.
using ByteCheck = std::function<QString(const QByteArray &)>;
using TextCheck = std::function<QString(const QString &)>;

// The helpers as they were written with regular expressions: on text that is valid UTF-16 and
// small enough for the expressions to finish, the scans must give exactly what they gave.
QString messagePlainByPattern(const QString &html)
{
    static const QRegularExpression imageWithAlt(u"<img[^>]*alt=\"([^\"]*)\"[^>]*>"_s);
    static const QRegularExpression anyTag(u"<[^>]+>"_s);
    QString text = html;
    text.replace(imageWithAlt, u"[\\1]"_s);
    text.replace(anyTag, QString());
    text.replace(u"&nbsp;"_s, u" "_s);
    text.replace(u"&amp;"_s, u"&"_s);
    return text.trimmed();
}
QString introPlainByPattern(const QString &html)
{
    static const QRegularExpression lineBreak(u"<br\\s*/?>"_s, QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression tag(u"<[^>]+>"_s);
    QString text = html;
    text.replace(lineBreak, u"\n"_s);
    text.replace(u"</p>"_s, u"\n"_s);
    text.replace(tag, QString());
    text.replace(u"&nbsp;"_s, u" "_s);
    text.replace(u"&amp;"_s, u"&"_s);
    text.replace(u"&lt;"_s, u"<"_s);
    text.replace(u"&gt;"_s, u">"_s);
    text.replace(u"&quot;"_s, u"\""_s);
    return text.trimmed();
}
bool comparableWithPattern(const QString &text)
{
    return text.size() <= 2000 && text.isValidUtf16() && !text.contains(QChar(0));
}

template<class T>
ByteCheck envelopeReader()
{
    return [](const QByteArray &bytes) {
        (void)APIResponse<T>::decode(bytes);
        return QString();
    };
}

// Read as the cache reads, then written back and read again: whatever reads must write to bytes
// that read back to the very same bytes.
template<class T>
ByteCheck cacheRoundTrip()
{
    return [](const QByteArray &bytes) -> QString {
        const auto envelope = APIResponse<T>::decode(bytes);
        if (!envelope || !envelope->data)
            return {};
        QByteArray written;
        if constexpr (requires { json::writeList(*envelope->data); })
            written = json::writeList(*envelope->data);
        else
            written = json::writeRecord(*envelope->data);
        const auto again = json::decodeDocument<T>(written);
        if (!again)
            return u"written entry does not read: "_s + QString::fromUtf8(written.left(200));
        QByteArray rewritten;
        if constexpr (requires { json::writeList(*again); })
            rewritten = json::writeList(*again);
        else
            rewritten = json::writeRecord(*again);
        return rewritten == written ? QString() : u"entry changed on its way through the cache"_s;
    };
}

struct Target
{
    // Whether a seed reads as a valid reply; none for helpers that take any text.
    std::function<QString(const QByteArray &)> reads; // the reader's complaint, or empty
    QList<QByteArray> byteSeeds;
    ByteCheck bytes;
    QList<QString> textSeeds;
    TextCheck text;
};

QHash<QString, Target> &targets()
{
    static QHash<QString, Target> all;
    return all;
}

template<class T>
void addRecord(const char *name, ByteCheck check = envelopeReader<T>())
{
    const auto reads = [](const QByteArray &bytes) {
        const auto decoded = APIResponse<T>::decode(bytes);
        return decoded ? QString() : decoded.error().description;
    };
    targets().insert(QString::fromLatin1(name), Target{reads, test::seeds::records(name), std::move(check), {}, {}});
}

void addText(const QString &name, QList<QString> seeds, TextCheck check)
{
    targets().insert(name, Target{{}, {}, {}, std::move(seeds), std::move(check)});
}

const QList<QString> kHtmlSeeds = {
    u"<p>你好</p>&nbsp;<img src=\"e.png\" alt=\"微笑\">&amp;再见"_s,
    u"<p>第一段<br/>第二段<br >第三段</p><p>&lt;b&gt;&quot;</p>"_s,
    u"x<span\nclass=\"c\">y</span><img alt=\"a>b\"><IMG alt=\"c\">"_s,
};
const QList<QString> kMarkedSeeds = {u"<b>星际</b>穿越"_s, u"马修·<b>麦康</b>纳, 安妮"_s, u"a<b>b</b>c<b>d"_s};
const QList<QString> kNameSeeds = {u"Interstellar.2014.2160p.mkv"_s, u"星际穿越 4K.torrent"_s, u"../a/b:c?.torrent"_s};
const QList<QString> kAddressSeeds = {u"https://img.example/p.jpg?x=1"_s, u"http://media.example/v/index.m3u8#t"_s,
                                      u"magnet:?xt=urn:btih:abc&dn=a"_s, u"thunder://QUFodHRw"_s};

void registerTargets()
{
    if (!targets().isEmpty())
        return;
    addRecord<User>("User");
    addRecord<LoginResult>("LoginResult");
    addRecord<SignStatus>("SignStatus");
    addRecord<SignResult>("SignResult");
    addRecord<ExchangeResult>("ExchangeResult");
    addRecord<UnreadCount>("UnreadCount");
    addRecord<PhotoResult>("PhotoResult");
    addRecord<QList<GoldLog>>("GoldLog");
    addRecord<QList<WatchingItem>>("WatchingItem");
    addRecord<MessageData>("MessageData");
    addRecord<Empty>("Empty");
    addRecord<HomeData>("HomeData");
    addRecord<ItemDetail>("ItemDetail");
    addRecord<TorrentDetail>("TorrentDetail");
    addRecord<TorrentRes>("TorrentRes");
    addRecord<QList<Item>>("Item");
    addRecord<QList<Tag>>("Tag");
    addRecord<QList<NavItem>>("NavItem", cacheRoundTrip<QList<NavItem>>());
    addRecord<FilterOptions>("FilterOptions", cacheRoundTrip<FilterOptions>());
    addRecord<QList<RankItem>>("RankItem");
    addRecord<QList<BbsPost>>("BbsPost");
    addRecord<BbsLikeResult>("BbsLikeResult");
    addRecord<UpdateInfo>("UpdateInfo");
    addRecord<PlayAuth>("PlayAuth");
    // The cookie reader, then the cookies the web page would set from what it read.
    addRecord<WebCookie>("WebCookie", [](const QByteArray &bytes) -> QString {
        const auto envelope = APIResponse<WebCookie>::decode(bytes);
        if (!envelope || !envelope->data)
            return {};
        for (const QNetworkCookie &cookie : webpage::cookiesToSet(*envelope->data)) {
            if (!webpage::isSoundCookie(QString::fromUtf8(cookie.name()), QString::fromUtf8(cookie.value()), cookie.domain()))
                return u"unsound cookie set: "_s + QString::fromUtf8(cookie.toRawForm());
        }
        return {};
    });
    const auto readHits = [](const QByteArray &bytes) {
        const auto hits = readJson<QList<SuggestItem>>(QJsonDocument::fromJson(bytes).object().value(u"hits"_s));
        return hits ? QString() : hits.error().description;
    };
    targets().insert(u"SuggestItem"_s, Target{readHits, test::seeds::records("SuggestItem"),
                                              [readHits](const QByteArray &bytes) {
                                                  (void)readHits(bytes);
                                                  return QString();
                                              },
                                              {}, {}});
    targets().insert(u"hls playlist"_s,
                     Target{[](const QByteArray &bytes) {
                                return hls::parseVariants(bytes).value_or(QList<hls::Variant>()).isEmpty() ? u"no variants"_s : QString();
                            },
                            {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=1280x720\n720.m3u8\n"
                             "#EXT-X-STREAM-INF:BANDWIDTH=5000000,RESOLUTION=3840x2160,NAME=\"4K\"\n2160/index.m3u8\n"},
                            [](const QByteArray &bytes) {
                                (void)hls::parseVariants(bytes);
                                return QString();
                            },
                            {}, {}});

    addText(u"message plain text"_s, kHtmlSeeds, [](const QString &html) -> QString {
        const QString plain = messagelogic::plain(html);
        if (comparableWithPattern(html) && plain != messagePlainByPattern(html))
            return u"differs from the pattern: "_s + plain.left(200);
        return {};
    });
    addText(u"title intro plain text"_s, kHtmlSeeds, [](const QString &html) -> QString {
        const QString plain = titlepage::plainText(html);
        if (comparableWithPattern(html) && plain != introPlainByPattern(html))
            return u"differs from the pattern: "_s + plain.left(200);
        return {};
    });
    addText(u"highlight markup"_s, kMarkedSeeds, [](const QString &marked) -> QString {
        QFont plain;
        plain.setPixelSize(13);
        QFont bold = plain;
        bold.setBold(true);
        const auto runs = splitMarkedText(marked);
        const QString html = markedRunsHtml(runs, Qt::black, Qt::green, 10);
        if (html.contains(u"<img"_s) || html.contains(u"<b>"_s))
            return u"markup from the server reached the label"_s;
        const auto cut = elidedMarkedRuns(runs, 240, plain, bold);
        return cut.size() <= runs.size() + 1 ? QString() : u"eliding made runs"_s;
    });
    addText(u"torrent file name"_s, kNameSeeds, [](const QString &name) -> QString {
        const QString file = downloads::torrentFileName(name);
        if (file.toUtf8().size() > 255 || file.contains(u'/') || file.contains(QChar(0)) || file.startsWith(u'.')
            || !file.endsWith(u".torrent"_s))
            return u"unsafe name: "_s + file;
        return {};
    });
    // Each check on its own, so the budget holds per helper: only web addresses get through.
    const auto webOnly = [](const std::optional<QUrl> &url) {
        return !url || url->scheme().toLower() == u"http"_s || url->scheme().toLower() == u"https"_s;
    };
    addText(u"image address"_s, kAddressSeeds, [webOnly](const QString &text) {
        const QUrl url(text);
        return !isWebAddress(url) || webOnly(url) ? QString() : u"image address allowed: "_s + text.left(80);
    });
    addText(u"page address"_s, kAddressSeeds, [webOnly](const QString &text) {
        return webOnly(webpage::pageAddress(text)) ? QString() : u"page address allowed: "_s + text.left(80);
    });
    addText(u"media address"_s, kAddressSeeds, [webOnly](const QString &text) {
        return webOnly(community::mediaUrl(text)) ? QString() : u"media address allowed: "_s + text.left(80);
    });
    addText(u"stream address"_s, kAddressSeeds, [webOnly](const QString &text) {
        return webOnly(player::authedUrl(text, text.right(8), 1)) ? QString() : u"stream address allowed: "_s + text.left(80);
    });
    addText(u"link actions"_s, kAddressSeeds, [](const QString &text) {
        (void)player::isHLS(text);
        (void)community::linkAction(text);
        // Copying takes any text as it is: only links handed to another application must be clean.
        for (const downloads::DownAction action : downloads::allActions()) {
            if (action == downloads::DownAction::Copy)
                continue;
            const auto link = downloads::acceptedLink(action, text);
            if (link && link->contains(QChar(0)))
                return u"link with NUL accepted"_s;
        }
        (void)downloads::looksLikeTorrent(text.toUtf8());
        return QString();
    });
    // Two different queries must never share a stored entry.
    addText(u"cache keys"_s, {u"12345"_s, u"a_b"_s, u"电影 2024"_s}, [](const QString &did) -> QString {
        static QHash<QString, Params> seen;
        const Params query{{u"did"_s, did}, {u"n"_s, did.left(3)}};
        const QString key = APIClient::cacheKey(u"api/down"_s, query);
        if (key.isEmpty())
            return {};
        if (const auto other = seen.constFind(key); other != seen.cend() && *other != query)
            return u"two queries share the key "_s + key;
        seen.insert(key, query);
        const QString file = DiskCache::fileName(key);
        if (DiskCache::isStorable(key) && (file.contains(u'/') || file.contains(QChar(0))))
            return u"key names a file outside its folder: "_s + file;
        return {};
    });
    addText(u"raw cache keys"_s, {u"nav"_s, u"filter_options"_s}, [](const QString &key) -> QString {
        const QString file = DiskCache::fileName(key);
        if (file.isEmpty())
            return {};
        if (file.contains(u'/') || file.contains(QChar(0)) || !file.isValidUtf16() || file.toUtf8().size() > 255)
            return u"unfit file name: "_s + file.left(80);
        return {};
    });
}

}

// Thousands of inputs mutated from valid ones into every record reader and every helper that
// takes server text: nothing may crash, break its promise, or take longer than the budget.
class TestMutation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        registerTargets();
        // Random code units reach scripts no installed font covers; the font engine says so once
        // per script and font, which buries the results.
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (!text.contains(u"OpenType support missing"_s))
                previous(type, context, text);
        });
    }

    void seedsAreValid()
    {
        QStringList complaints;
        for (auto it = targets().cbegin(); it != targets().cend(); ++it) {
            if (!it->reads)
                continue;
            if (it->byteSeeds.isEmpty())
                complaints.append(it.key() + u": no seeds"_s);
            for (const QByteArray &seed : it->byteSeeds) {
                if (const QString complaint = it->reads(seed); !complaint.isEmpty())
                    complaints.append(it.key() + u": "_s + complaint);
            }
        }
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints.join(u"\n"_s)));
    }

    void mutatedInputs_data()
    {
        registerTargets();
        QTest::addColumn<QString>("target");
        QStringList names = targets().keys();
        names.sort();
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << name;
    }
    void mutatedInputs()
    {
        QFETCH(QString, target);
        const Target &t = targets()[target];
        Mutator mutator(kSeed + quint32(qHash(target)));
        const auto textTokens = test::seeds::textTokens();
        const auto byteTokens = test::seeds::jsonTokens();
        qint64 slowest = 0;
        qsizetype slowestSize = 0;
        qint64 started = 0;
        QByteArray lastBytes;
        QString lastText;
        for (int i = 0; i < kInputsPerTarget; ++i) {
            QString problem;
            qsizetype size = 0;
            if (t.bytes) {
                lastBytes = mutator.mutate(t.byteSeeds, byteTokens);
                if (mutator.chance(30))
                    lastBytes = mutator.retype(lastBytes);
                size = lastBytes.size();
                started = threadCpuNs();
                problem = t.bytes(lastBytes);
            } else {
                lastText = mutator.mutate(t.textSeeds, textTokens);
                size = lastText.size();
                started = threadCpuNs();
                problem = t.text(lastText);
            }
            qint64 spent = threadCpuNs() - started;
            if (spent > kBudgetNs) {
                // Once more, so a one-off cost of the first call (a font loaded for a script
                // never seen before) is not blamed on the input; a slow helper is slow twice.
                started = threadCpuNs();
                if (t.bytes)
                    (void)t.bytes(lastBytes);
                else
                    (void)t.text(lastText);
                spent = threadCpuNs() - started;
            }
            QVERIFY2(problem.isEmpty(), qPrintable(u"input %1: "_s.arg(i) + problem));
            QVERIFY2(spent <= kBudgetNs,
                     qPrintable(u"input %1 (%2 units) took %3 ms"_s.arg(i).arg(size).arg(spent / 1e6, 0, 'f', 1)));
            if (spent > slowest) {
                slowest = spent;
                slowestSize = size;
            }
        }
        qInfo("%s: slowest input %.2f ms (%lld units)", qPrintable(target), slowest / 1e6, qlonglong(slowestSize));
    }
};

TOVRA_TEST(TestMutation)
#include "tst_mutation.moc"
