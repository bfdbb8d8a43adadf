#include "models/playerfailure.h"
#include "playerlink/framering.h"
#include "playerlink/playerlink.h"
#include "support/testenv.h"
#include "views/player/pipeline.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <unistd.h>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::playerlink;
using namespace tovra::test;

namespace {

int openFiles()
{
    return int(QDir(u"/proc/self/fd"_qs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

}

// What crosses from the player process is the other process's to write: the client reads only
// whole messages, keeps no descriptor it was not asked to take, believes no failure kind the
// player has no word for, and draws no picture the player has written over since.
class PlayerLinkTest : public QObject
{
    Q_OBJECT
private slots:
    void clientTakesOnlyWhatItAskedFor_data()
    {
        QTest::addColumn<QByteArray>("news");
        QTest::addColumn<bool>("withFd");
        QTest::addColumn<int>("failure"); // the kind failed() names, -1: none, the next news read
        const QByteArray cut(kMaxMessage + 1, char(News::Duration));
        QTest::newRow("cut packet") << cut << false << -1;
        QTest::newRow("descriptor on a cut packet") << cut << true << -1;
        QTest::newRow("descriptor on a picture's news") << pack(News::Frame, quint32(1), qint32(0), quint64(1)) << true << -1;
        QTest::newRow("a kind the player has no word for") << pack(News::Failed, qint32(99), u"x"_qs) << false << int(player::Failure::Other);
        QTest::newRow("a kind only the client names") << pack(News::Failed, qint32(player::Failure::PlayerMissing), u"x"_qs) << false
                                                      << int(player::Failure::Other);
        QTest::newRow("a kind of its own") << pack(News::Failed, qint32(player::Failure::Network), u"x"_qs) << false
                                           << int(player::Failure::Network);
        QTest::newRow("its own stall") << pack(News::Failed, qint32(player::Failure::Stalled), u"x"_qs) << false
                                       << int(player::Failure::Stalled);
    }
    void clientTakesOnlyWhatItAskedFor()
    {
        QFETCH(QByteArray, news);
        QFETCH(bool, withFd);
        QFETCH(int, failure);
        int theirs = -1;
        Pipeline::setLauncher([&](int link) { return (theirs = link) >= 0; });
        const int files = openFiles();
        {
            Pipeline pipeline;
            QSignalSpy failed(&pipeline, &Pipeline::failed);
            QSignalSpy duration(&pipeline, &Pipeline::durationChanged);
            pipeline.open(QUrl(u"http://127.0.0.1:9/a.m3u8"_qs), 0);
            const int passed = withFd ? dup(STDIN_FILENO) : -1;
            QVERIFY(send(theirs, news, passed));
            if (passed >= 0)
                close(passed);
            QVERIFY(send(theirs, pack(News::Duration, qint64(1234))));
            if (failure >= 0) {
                QVERIFY(waitFor([&] { return failed.size() == 1; }));
                QCOMPARE(failed.first().first().toInt(), failure);
            } else {
                QVERIFY(waitFor([&] { return duration.size() == 1; }));
                QCOMPARE(duration.first().first().toLongLong(), qint64(1234));
                QVERIFY(failed.isEmpty());
            }
        }
        Pipeline::setLauncher({});
        close(theirs);
        // Nothing of the link, and no descriptor that came over it, is left.
        QCOMPARE(openFiles(), files);
    }

    // What a player said of the site is its own stream's: after an open, or in a new player, nobody
    // can tell until the next answer. Answered before the first open, then the ping it sent.
    void siteWaitIsEachStreamsOwn()
    {
        QList<int> theirs;
        Pipeline::setLauncher([&](int link) { theirs << link; return true; });
        auto pipeline = std::make_unique<Pipeline>();
        for (const quint64 serial : {0, 1}) {
            QVERIFY(send(theirs.last(), pack(News::Pong, serial, false)) && waitFor([&] { return !pipeline->waitsOnSite(); }));
            pipeline->open(QUrl(u"http://127.0.0.1:9/a.m3u8"_qs), 0);
            QVERIFY(pipeline->waitsOnSite());
        }
        pipeline.reset();
        Pipeline::setLauncher({});
        std::ranges::for_each(theirs, ::close);
    }

    void ringRefusesStalePictures_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("taken");
        QTest::newRow("as published") << 0 << true;
        QTest::newRow("taken back for a newer picture") << 1 << false;
        QTest::newRow("being written again") << 2 << false;
        QTest::newRow("no such slot") << 3 << false;
        QTest::newRow("taken already") << 4 << false;
    }
    void ringRefusesStalePictures()
    {
        QFETCH(int, change);
        QFETCH(bool, taken);
        const auto ring = FrameRing::create(4096);
        QVERIFY(ring);
        // Every slot holds a picture the client has not taken: the next write takes the oldest back.
        for (int i = 0; i < FrameRing::kSlots; ++i)
            ring->publish(*ring->acquire());
        int slot = 0;
        const std::uint64_t serial = 1;
        std::uint64_t newer = 0;
        if (change == 1 || change == 2) {
            QCOMPARE(ring->acquire(), std::optional<int>(slot));
            if (change == 1)
                newer = ring->publish(slot);
        } else if (change == 3) {
            slot = FrameRing::kSlots;
        } else if (change == 4) {
            QVERIFY(ring->take(slot, serial));
        }
        QCOMPARE(ring->take(slot, serial), taken);
        // The newer picture's own news still finds it there.
        if (newer)
            QVERIFY(ring->take(slot, newer));
        // A mapping of the same ring whose header names slots past the file is refused, and its
        // descriptor closed.
        const int files = openFiles();
        reinterpret_cast<FrameRing::Header *>(ring->slot(0) - FrameRing::kHeaderBytes)->slotBytes = std::uint64_t(1) << 40;
        QVERIFY(!FrameRing::map(dup(ring->fd())));
        QCOMPARE(openFiles(), files);
    }
};

TOVRA_TEST(PlayerLinkTest)
#include "tst_playerlink.moc"
