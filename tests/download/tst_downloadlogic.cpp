#include "models/downloadlogic.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::downloads;

class TestDownloadLogic : public QObject
{
    Q_OBJECT
private slots:
    void fileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("reserved") << "A/B: C?" << "A_B_ C_.torrent";
        QTest::newRow("all reserved") << "a\\b%c*d|e\"f<g>h" << "a_b_c_d_e_f_g_h.torrent";
        QTest::newRow("spaces only") << "   \n" << "tovra.torrent";
        QTest::newRow("has extension") << "x.torrent" << "x.torrent";
        QTest::newRow("upper extension") << "x.TORRENT" << "x.TORRENT.torrent";
        QTest::newRow("dots") << ".." << "tovra.torrent";
        QTest::newRow("bare extension") << ".torrent" << "tovra.torrent";
        QTest::newRow("leading dots") << "../../etc/passwd" << "___.._etc_passwd.torrent";
        QTest::newRow("hidden name") << ".hidden.torrent" << "_hidden.torrent";
        QTest::newRow("dot after spaces") << "  .x" << "_x.torrent";
        QTest::newRow("control") << "a\tb\x01" "c\nd" << "a_b_c_d.torrent";
        QTest::newRow("override") << QString::fromUtf8("evil\u202Etnerrot.exe") << QString::fromUtf8("evil_tnerrot.exe.torrent");
        // Named as the file is written, which has no lone surrogate and no byte order mark.
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QLatin1Char('x') << "_x.torrent";
        QTest::newRow("byte order mark") << QString::fromUtf8("\uFEFFx\uFEFFy") << "x_y.torrent";
        QTest::newRow("130 ascii") << QString(130, u'a') << QString(120, u'a') + ".torrent";
        // 120 CJK characters would be 360 bytes: cut to what fits in 255 with the extension.
        QTest::newRow("130 cjk") << QString(130, u'星') << QString(82, u'星') + ".torrent";
    }
    void fileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QString made = torrentFileName(name);
        QCOMPARE(made, expected);
        QVERIFY(made.toUtf8().size() <= 255);
    }

    void uniquePathSkipsTakenNames()
    {
        QTemporaryDir dir;
        const auto touch = [&](const QString &n) {
            QFile f(dir.filePath(n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        };
        QCOMPARE(uniquePath(dir.path(), "x.torrent"), dir.filePath("x.torrent"));
        touch("x.torrent");
        touch("x (2).torrent");
        QCOMPARE(uniquePath(dir.path(), "x.torrent"), dir.filePath("x (3).torrent"));
        // A dangling link would send the write elsewhere: it counts as taken.
        QVERIFY(QFile::link(dir.filePath("nowhere/target"), dir.filePath("x (3).torrent")));
        QCOMPARE(uniquePath(dir.path(), "x.torrent"), dir.filePath("x (4).torrent"));

        const QString longName = torrentFileName(QString(130, u'星'));
        touch(longName);
        const QString next = QFileInfo(uniquePath(dir.path(), longName)).fileName();
        QVERIFY(next.endsWith(" (2).torrent"));
        QVERIFY(next.toUtf8().size() <= 255);
    }

    void saveNewNeverReplaces()
    {
        QTemporaryDir dir;
        QFile old(dir.filePath("a.torrent"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        const auto saved = saveNew(dir.path(), "a.torrent", "new");
        QVERIFY(saved);
        QCOMPARE(*saved, dir.filePath("a (2).torrent"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));

        const auto missing = saveNew(dir.filePath("gone"), "a.torrent", "x");
        QVERIFY(!missing);
        QVERIFY(missing.error().description().startsWith(QStringLiteral("种子文件保存失败")));
    }

    void links_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        const int copy = int(DownAction::Copy), magnet = int(DownAction::Magnet), xl = int(DownAction::Xl), bt = int(DownAction::Bt);
        QTest::newRow("copy magnet") << copy << "magnet:?xt=urn:btih:abc" << true;
        // The pasteboard opens nothing: whatever the site calls its magnet link is copied.
        QTest::newRow("copy http") << copy << "http://x/a" << true;
        QTest::newRow("copy with spaces") << copy << "magnet:?xt=a b" << true;
        QTest::newRow("copy bare text") << copy << "磁力暂缺" << true;
        QTest::newRow("copy empty") << copy << "" << false;
        QTest::newRow("magnet upper") << magnet << "MAGNET:?xt=urn:btih:abc" << true;
        QTest::newRow("magnet js") << magnet << "javascript:alert(1)" << false;
        QTest::newRow("magnet spaces") << magnet << "magnet:?xt=a b" << false;
        QTest::newRow("magnet bare") << magnet << "magnet:" << false;
        QTest::newRow("xl thunder") << xl << "thunder://QUFodHRwOi8vZS5jb20vYS50b3JyZW50Wlo=" << true;
        QTest::newRow("xl magnet") << xl << "magnet:?xt=urn:btih:abc" << false;
        QTest::newRow("xl file") << xl << "file:///etc/passwd" << false;
        QTest::newRow("bt https") << bt << "https://t.example/a.torrent" << true;
        QTest::newRow("bt file") << bt << "file:///etc/passwd" << false;
        QTest::newRow("bt data") << bt << "data:application/x-bittorrent,d4:x" << false;
        QTest::newRow("bt qrc") << bt << "qrc:/icons/doc.svg" << false;
        QTest::newRow("bt no host") << bt << "http:///a" << false;
        QTest::newRow("empty") << bt << "" << false;
    }
    void links()
    {
        QFETCH(int, action);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const auto link = acceptedLink(DownAction(action), text);
        QCOMPARE(link.has_value(), accepted);
        if (link)
            QCOMPARE(*link, text);
    }

    void icons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("upper mkv") << "A.MKV" << "film";
        QTest::newRow("no dot") << "README" << "folder";
        QTest::newRow("iso") << "disc.iso" << "doc";
        QTest::newRow("dot in folder") << "v1.0/readme" << "folder";
        QTest::newRow("subtitle") << "a.zh.ass" << "captions.bubble";
        QTest::newRow("archive") << "a.7z" << "doc.zipper";
    }
    void icons()
    {
        QFETCH(QString, name);
        QFETCH(QString, symbol);
        QCOMPARE(fileIcon(name), symbol);
    }

    void actionsAndTexts()
    {
        QStringList labels;
        for (DownAction a : allActions()) {
            labels << rawValue(a);
            QCOMPARE(fromRawValue(rawValue(a)), a);
        }
        QCOMPARE(labels, (QStringList{"复制磁力", "磁力下载", "迅雷下载", "种子下载"}));
        QVERIFY(!fromRawValue(QStringLiteral("复制磁力 ")));
        QCOMPARE(errorText(DownAction::Bt, APIError::emptyData()), QStringLiteral("种子文件地址暂时取不到，可以先用磁力下载"));
        QCOMPARE(errorText(DownAction::Xl, APIError::emptyData()), QStringLiteral("没有获取到资源，请稍后重试"));
        QCOMPARE(errorText(DownAction::Copy, APIError::server(500, "忙")), APIError::server(500, "忙").description());
        QVERIFY(!looksLikeTorrent("d" + QByteArray(99, 'x')));
        QVERIFY(looksLikeTorrent("d" + QByteArray(100, 'x')));
        QVERIFY(!looksLikeTorrent("x" + QByteArray(200, 'x')));
    }
};

TOVRA_TEST(TestDownloadLogic)
#include "tst_downloadlogic.moc"
