#include "models/catalogue.h"
#include "network/diskcache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "support/testmain.h"

using namespace Qt::StringLiterals;
using tovra::DiskCache;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Backdates (or forwards) a file's modification time by the given number of seconds.
bool setFileAge(const QString &path, qint64 seconds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    return file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-seconds), QFileDevice::FileModificationTime);
}

}

class TestDiskCache : public QObject
{
    Q_OBJECT
private slots:
    void fileHoldsExactBytesUnderKeyName()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        const QByteArray bytes("{\"code\":200,\"message\":\"好\",\"data\":{}}\n\x01", 40);
        cache.saveData(bytes, QStringLiteral("api_item?did=1%2E5"));
        cache.flush();
        const QString expected = dir.path() + QStringLiteral("/api_item?did=1%2E5.json");
        QCOMPARE(cache.filePath(QStringLiteral("api_item?did=1%2E5")), expected);
        QCOMPARE(readFile(expected), bytes);
        // Nothing else lands in the folder: no temporary file, no index.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("api_item?did=1%2E5.json")});
    }

    void savingAgainRestartsTheFileAge_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("same bytes") << QByteArray("{\"a\":1}");
        QTest::newRow("same size, other bytes") << QByteArray("{\"a\":2}");
        QTest::newRow("other size") << QByteArray("{\"a\":12}");
    }
    void savingAgainRestartsTheFileAge()
    {
        QFETCH(QByteArray, second);
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        cache.saveData("{\"a\":1}", QStringLiteral("k"));
        cache.flush();
        QVERIFY(setFileAge(cache.filePath(QStringLiteral("k")), 3600));
        cache.saveData(second, QStringLiteral("k"));
        cache.flush();
        QCOMPARE(readFile(cache.filePath(QStringLiteral("k"))), second);
        DiskCache restarted(dir.path());
        QCOMPARE(restarted.loadData(QStringLiteral("k"), 600), second);
    }

    void memoryAnswersWithoutTheFile()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        cache.saveData("abc", QStringLiteral("k"));
        cache.flush();
        QVERIFY(QFile::remove(cache.filePath(QStringLiteral("k"))));
        QCOMPARE(cache.loadData(QStringLiteral("k"), 600), QByteArray("abc"));
    }

    void restartReadsFileAgedByModificationTime_data()
    {
        QTest::addColumn<qint64>("ageSeconds");
        QTest::addColumn<double>("maxAge");
        QTest::addColumn<bool>("hit");
        QTest::newRow("fresh") << qint64(10) << 600.0 << true;
        QTest::newRow("601s with 600") << qint64(601) << 600.0 << false;
        QTest::newRow("601s with a week") << qint64(601) << 604800.0 << true;
        QTest::newRow("3599s with 3600") << qint64(3599) << 3600.0 << true;
        QTest::newRow("3601s with 3600") << qint64(3601) << 3600.0 << false;
        QTest::newRow("future counts fresh") << qint64(-3600) << 600.0 << true;
        QTest::newRow("negative max age") << qint64(0) << -1.0 << false;
        QTest::newRow("zero max age") << qint64(5) << 0.0 << false;
    }
    void restartReadsFileAgedByModificationTime()
    {
        QFETCH(qint64, ageSeconds);
        QFETCH(double, maxAge);
        QFETCH(bool, hit);
        QTemporaryDir dir;
        {
            DiskCache before(dir.path());
            before.saveData("reply", QStringLiteral("api_index"));
        }
        DiskCache after(dir.path());
        QVERIFY(setFileAge(after.filePath(QStringLiteral("api_index")), ageSeconds));
        const auto loaded = after.loadData(QStringLiteral("api_index"), maxAge);
        QCOMPARE(loaded.has_value(), hit);
        QCOMPARE(after.inMemory(QStringLiteral("api_index")), hit);
        if (hit)
            QCOMPARE(*loaded, QByteArray("reply"));
    }

    void memoryEntryAgesWithTheClock()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        QDateTime now = QDateTime::currentDateTimeUtc();
        cache.setClock([&] { return now; });
        cache.saveData("x", QStringLiteral("k"));
        now = now.addSecs(601);
        // Both copies are 601 s old: the memory stamp and the file's modification time.
        QVERIFY(!cache.loadData(QStringLiteral("k"), 600));
        QCOMPARE(cache.loadData(QStringLiteral("k"), 604800), QByteArray("x"));
        QVERIFY(cache.inMemory(QStringLiteral("k")));
    }

    void staleMemoryGivesWayToFresherFile()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        QDateTime now = QDateTime::currentDateTimeUtc().addSecs(-700);
        cache.setClock([&] { return now; });
        cache.saveData(R"([{"name":"old"}])", QStringLiteral("nav"));
        now = QDateTime::currentDateTimeUtc();
        tovra::NavItem item;
        item.id = QStringLiteral("7");
        item.name = QStringLiteral("新");
        cache.save(QList<tovra::NavItem>{item}, QStringLiteral("nav"));

        const auto loaded = cache.loadData(QStringLiteral("nav"), 600);
        QVERIFY(loaded);
        QVERIFY(loaded->contains("新"));
        cache.flush();
        // The memory entry now holds the file's bytes: it answers even with the file gone.
        QVERIFY(QFile::remove(cache.filePath(QStringLiteral("nav"))));
        QCOMPARE(cache.loadData(QStringLiteral("nav"), 600), loaded);
    }

    void memoryTableEvictsTheOldestSave_data()
    {
        QTest::addColumn<bool>("sameStamp");
        QTest::newRow("one second apart") << false;
        QTest::newRow("same millisecond") << true;
    }
    void memoryTableEvictsTheOldestSave()
    {
        QFETCH(bool, sameStamp);
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        QDateTime now = QDateTime::currentDateTimeUtc();
        cache.setClock([&] { return now; });
        for (int i = 0; i < DiskCache::kMemoryLimit + 1; ++i) {
            cache.saveData(QByteArray::number(i), QStringLiteral("key%1").arg(i));
            if (!sameStamp)
                now = now.addSecs(1);
        }
        QCOMPARE(cache.memoryCount(), DiskCache::kMemoryLimit);
        QVERIFY(!cache.inMemory(QStringLiteral("key0")));
        QVERIFY(cache.inMemory(QStringLiteral("key1")));
        QVERIFY(cache.inMemory(QStringLiteral("key40")));

        // The file stayed; reading it brings the entry back without evicting another one.
        QCOMPARE(cache.loadData(QStringLiteral("key0"), 604800), QByteArray("0"));
        QCOMPARE(cache.memoryCount(), DiskCache::kMemoryLimit + 1);
        // The next save removes exactly one entry.
        cache.saveData("new", QStringLiteral("key41"));
        QCOMPARE(cache.memoryCount(), DiskCache::kMemoryLimit + 1);
    }

    void slashAndUnderscoreShareOneFile()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        QCOMPARE(DiskCache::fileName(QStringLiteral("a/b")), DiskCache::fileName(QStringLiteral("a_b")));
        cache.saveData("slash", QStringLiteral("a/b"));
        cache.saveData("underscore", QStringLiteral("a_b"));
        cache.flush();
        QCOMPARE(cache.memoryCount(), 2);
        QCOMPARE(cache.loadData(QStringLiteral("a/b"), 600), QByteArray("slash"));
        QCOMPARE(readFile(dir.path() + QStringLiteral("/a_b.json")), QByteArray("underscore"));
    }

    void hostileKeysStayInsideTheFolder()
    {
        QTemporaryDir dir;
        const QString inner = dir.path() + QStringLiteral("/inner");
        DiskCache cache(inner);
        cache.saveData("x", QStringLiteral("../escape"));
        cache.saveData("y", QStringLiteral("/abs/olute"));
        cache.flush();
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/escape.json")));
        QVERIFY(QFile::exists(inner + QStringLiteral("/.._escape.json")));
        QVERIFY(QFile::exists(inner + QStringLiteral("/_abs_olute.json")));
    }

    void removeDropsMemoryAndFile()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        cache.saveData("x", QStringLiteral("k"));
        cache.remove(QStringLiteral("k"));
        cache.flush();
        QVERIFY(!cache.inMemory(QStringLiteral("k")));
        QVERIFY(!QFile::exists(cache.filePath(QStringLiteral("k"))));
        QVERIFY(!cache.loadData(QStringLiteral("k"), 600));
    }

    void diskSizeAndClear()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/TovraClient");
        DiskCache cache(folder);
        QCOMPARE(cache.diskSize(), qint64(0));
        cache.saveData(QByteArray(1000, 'a'), QStringLiteral("one"));
        cache.saveData(QByteArray(234, 'b'), QStringLiteral("two"));
        QCOMPARE(cache.diskSize(), qint64(1234));
        // Writes a killed client left: not counted, and gone at the next start once a minute old.
        for (const auto &[name, age] : {std::pair{u"/.write-a1B2c3"_s, 61}, {u"/.write-d4E5f6"_s, 20}}) {
            QFile left(folder + name);
            QVERIFY(left.open(QIODevice::WriteOnly) && left.write(QByteArray(1258, '{')) == 1258 && left.flush());
            QVERIFY(setFileAge(left.fileName(), age));
        }
        QCOMPARE(DiskCache(folder).diskSize(), qint64(1234));
        QCOMPARE(QDir(folder).entryList({u".write-*"_s}, QDir::Files | QDir::Hidden), QStringList{u".write-d4E5f6"_s});
        cache.clear();
        QCOMPARE(cache.diskSize(), qint64(0));
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(cache.memoryCount(), 0);
        QVERIFY(!cache.loadData(QStringLiteral("one"), 600));
    }

    void missingFolderFailsQuietly()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/gone");
        DiskCache cache(folder);
        QVERIFY(QDir(folder).removeRecursively());
        QCOMPARE(cache.diskSize(), qint64(0));
        cache.saveData("kept in memory", QStringLiteral("k"));
        QCOMPARE(cache.loadData(QStringLiteral("k"), 600), QByteArray("kept in memory"));
        cache.flush();
        QVERIFY(!QFile::exists(folder));
        // clear() brings the folder back and writes work again.
        cache.clear();
        cache.saveData("again", QStringLiteral("k"));
        cache.flush();
        QVERIFY(QFile::exists(cache.filePath(QStringLiteral("k"))));
    }

    void memoryOnlyWithoutFolder()
    {
        DiskCache cache(std::nullopt);
        cache.saveData("x", QStringLiteral("k"));
        QCOMPARE(cache.loadData(QStringLiteral("k"), 600), QByteArray("x"));
        QCOMPARE(cache.diskSize(), qint64(0));
        QVERIFY(cache.filePath(QStringLiteral("k")).isEmpty());
        QVERIFY(!cache.load<QList<tovra::NavItem>>(QStringLiteral("k"), 600));
    }

    void typedEntriesRoundTripThroughFilesOnly()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        tovra::NavItem item;
        item.id = QStringLiteral("12");
        item.name = QStringLiteral("电影 \"quoted\"");
        item.url = QStringLiteral("https://example.org/ranking");
        item.external = true;
        cache.save(QList<tovra::NavItem>{item}, QStringLiteral("nav"));
        QVERIFY(!cache.inMemory(QStringLiteral("nav")));
        const auto loaded = cache.load<QList<tovra::NavItem>>(QStringLiteral("nav"), 604800);
        QVERIFY(loaded);
        QCOMPARE(*loaded, QList<tovra::NavItem>{item});

        cache.flush();
        QVERIFY(setFileAge(cache.filePath(QStringLiteral("nav")), 604801));
        QVERIFY(!cache.load<QList<tovra::NavItem>>(QStringLiteral("nav"), 604800));
    }

    // What the server decoded is what the cache gives back, unit for unit: a lone surrogate, a
    // control character and a character outside the basic plane included.
    void typedEntriesKeepEveryUnit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("lone high") << u"a"_s + QChar(0xD800) + u"b"_s;
        QTest::newRow("lone low first") << QString(QChar(0xDC00)) + u"x"_s;
        QTest::newRow("lone high last") << u"x"_s + QChar(0xDBFF);
        QTest::newRow("reversed pair") << QString(QChar(0xDC00)) + QChar(0xD800);
        QTest::newRow("pair") << QString::fromUtf8("\xF0\x9F\x8E\xAC");
        QTest::newRow("controls") << u"\u0001\u001F\u007F\u2028"_s;
    }
    void typedEntriesKeepEveryUnit()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        tovra::NavItem item;
        item.id = name;
        item.name = name;
        tovra::FilterOptions options;
        options.sort = QStringList{name};
        cache.save(QList<tovra::NavItem>{item}, QStringLiteral("nav"));
        cache.save(options, QStringLiteral("filter_options"));
        const auto nav = cache.load<QList<tovra::NavItem>>(QStringLiteral("nav"), 604800);
        const auto filters = cache.load<tovra::FilterOptions>(QStringLiteral("filter_options"), 604800);
        QVERIFY(nav && filters);
        QCOMPARE(nav->value(0).name, name);
        QCOMPARE(filters->sort, QStringList{name});
    }

    // A key that cannot name a file of its own is an entry that is never there: nothing in
    // memory, no file (not even a shortened one), and the folder stays empty.
    void unstorableKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty") << QString();
        QTest::newRow("nul") << u"nav"_s + QChar(0) + u"evil"_s;
        QTest::newRow("lone surrogate") << u"api_item?did="_s + QChar(0xD800);
        QTest::newRow("name too long") << QString(251, u'k');
    }
    void unstorableKeys()
    {
        QFETCH(QString, key);
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        cache.saveData("x", key);
        cache.save(QList<tovra::NavItem>{}, key);
        QVERIFY(!cache.loadData(key, 600));
        QVERIFY(!cache.load<QList<tovra::NavItem>>(key, 600));
        cache.remove(key);
        QCOMPARE(cache.memoryCount(), 0);
        QCOMPARE(cache.diskSize(), qint64(0));
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        // The longest name that fits is stored like any other.
        cache.saveData("y", QString(250, u'k'));
        QCOMPARE(cache.diskSize(), qint64(1));
    }

    void typedLoadOfOtherShapesGivesNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("an envelope") << QByteArray(R"({"code":200,"message":"ok","data":[]})");
        QTest::newRow("not JSON") << QByteArray("<html>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("element fails") << QByteArray(R"([{"id":"1"}])");
    }
    void typedLoadOfOtherShapesGivesNothing()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        cache.saveData(bytes, QStringLiteral("filter_options"));
        QVERIFY(!cache.load<tovra::FilterOptions>(QStringLiteral("filter_options"), 604800));
        QVERIFY(!cache.load<QList<tovra::NavItem>>(QStringLiteral("filter_options"), 604800));
        // The unreadable file stays for the caller's next write to replace.
        cache.flush();
        QVERIFY(QFile::exists(cache.filePath(QStringLiteral("filter_options"))));
    }

    // Files are written by a worker; every read in between must answer as if each step had
    // already reached the disk.
    void readsFollowQueuedOperationsInOrder()
    {
        QTemporaryDir dir;
        DiskCache cache(dir.path());
        const QString key = QStringLiteral("api_item?did=1");
        for (int round = 0; round < 50; ++round) {
            const QByteArray a = "a" + QByteArray::number(round);
            const QByteArray c = "c" + QByteArray::number(round);
            cache.saveData(a, key);
            QCOMPARE(cache.loadData(key, 600), std::optional<QByteArray>(a));
            cache.remove(key);
            QVERIFY(!cache.loadData(key, 600));
            cache.save(QList<tovra::NavItem>(), key);
            QCOMPARE(cache.loadData(key, 600), std::optional<QByteArray>("[]"));
            cache.saveData("b", key);
            cache.clear();
            QVERIFY(!cache.loadData(key, 600));
            cache.save(QList<tovra::NavItem>(), key);
            QVERIFY(cache.load<QList<tovra::NavItem>>(key, 600));
            cache.saveData(c, key);
            // A fresh instance on the same folder sees only what reached the disk.
            cache.flush();
            QCOMPARE(DiskCache(dir.path()).loadData(key, 600), std::optional<QByteArray>(c));
        }
    }
};

TOVRA_TEST(TestDiskCache)
#include "tst_diskcache.moc"
