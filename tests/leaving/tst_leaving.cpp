#include "views/player/nativeplayer.h"
#include "views/player/pipeline.h"
#include "views/player/playermodel.h"
#include "views/player/playerview.h"

#include "playback/playbackfixture.h"
#include "support/logcapture.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>
#include <csignal>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {


int entries(const char *folder)
{
    return int(QDir(QString::fromLatin1(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

// Resident memory in MB.
qint64 residentMb()
{
    QFile status(u"/proc/self/status"_qs);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &l : status.readAll().split('\n')) {
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLongLong() / 1024;
    }
    return 0;
}

// The names of the process's threads, for a failing check to print.
QString threadNames()
{
    QStringList names;
    for (const QString &task : QDir(u"/proc/self/task"_qs).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(u"/proc/self/task/"_qs + task + u"/comm"_qs);
        comm.open(QIODevice::ReadOnly);
        names << QString::fromUtf8(comm.readAll().trimmed());
    }
    return names.join(u", "_qs);
}

}

// Leaving the native player ends its player process: nothing more of the left stream is fetched
// half a second after leaving, whatever was in flight, the client keeps no thread, socket or file
// of the play, and it survives leaving on any line. TOVRA_LEAVE_ROUNDS=N runs N rounds a row (the
// stress loop).
class LeavingTest : public QObject
{
    Q_OBJECT
private slots:
    void leavingLeavesNothing_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("normal line") << u"normal"_qs;
        QTest::newRow("slow line") << u"slow"_qs;
        QTest::newRow("stalled mid-segment") << u"segment"_qs;
        QTest::newRow("stalled mid-playlist") << u"playlist"_qs;
        // The first segment crawls in: the demuxer has no output yet to be told anything through.
        QTest::newRow("before the first segment") << u"first"_qs;
        QTest::newRow("quick cycles") << u"quick"_qs;
        // A failure stops the pipeline before the user leaves: its sound chain is gone by then.
        QTest::newRow("failed, then left") << u"failed"_qs;
    }
    void leavingLeavesNothing()
    {
        QFETCH(QString, line);
        const int rounds = std::max(line == u"failed" ? 1 : 2, qEnvironmentVariableIntValue("TOVRA_LEAVE_ROUNDS"));
        PlaybackFixture f;
        // Segments come from a site of their own, so its connections are the demuxer's alone.
        FakeSite media;
        QVERIFY(media.start());
        const QStringList segments = serveFolder(media, u"/clip/"_qs, mediaDir());
        for (const QString &path : segments) {
            const int index = path.section(u"seg"_qs, 1).section(u'.', 0, 0).toInt();
            // The first segment comes at once; what the demuxer loads after it crawls.
            if ((line == u"slow" && path.endsWith(u".ts") && index >= 1) || (line == u"first" && path.endsWith(u".ts")))
                media.route(path, FakeSite::text(fileBytes(mediaDir() + path.mid(5))).throttled(40000));
            else if (line == u"failed" && path.endsWith(u".ts") && index >= 3)
                media.route(path, FakeSite::text("", 404));
            else if (line == u"segment" && path.endsWith(u".ts") && index >= 1)
                media.route(path, FakeSite::text(fileBytes(mediaDir() + path.mid(5))).stallingMidBody());
        }
        ThreadedSite playlists([&](FakeSite &host) {
            for (const char *variant : {"v0", "v1"}) {
                const QString path = u"/clip/hls/"_qs + QLatin1String(variant) + u"/index.m3u8"_qs;
                QByteArrayList lines = fileBytes(mediaDir() + path.mid(5)).split('\n');
                for (QByteArray &l : lines)
                    l = l.endsWith(".ts") ? media.url(path.section(u'/', 0, -2) + u'/' + QString::fromUtf8(l)).toEncoded() : l;
                const FakeSite::Reply reply = FakeSite::text(lines.join('\n'));
                host.route(path, line == u"playlist" ? FakeSite::Reply(reply).stallingMidBody() : reply);
            }
        });
        // The master playlist, which the client reads too for its quality menu, comes from a host
        // of its own: the other two hear only from the player.
        FakeSite masterHost;
        QVERIFY(masterHost.start());
        QByteArrayList master = fileBytes(mediaDir() + u"/hls/master.m3u8"_qs).split('\n');
        for (QByteArray &l : master)
            l = l.endsWith(".m3u8") ? playlists.url().resolved(QUrl(u"clip/hls/"_qs + QString::fromUtf8(l))).toEncoded() : l;
        masterHost.route(u"/clip/hls/master.m3u8"_qs, FakeSite::text(master.join('\n')));
        int threads = 0;
        int files = 0;
        qint64 memory = 0;
        for (int round = 0; round < rounds; ++round) {
            f.authorise({masterHost.url().toString() + u"clip/hls/master.m3u8"_qs, u"play-tok"_qs, 0, 1});
            auto page = std::make_unique<PlayerView>(kPlayerEntry, u"星河"_qs, 0);
            page->resize(640, 400);
            page->show();
            QVERIFY(waitFor([&] { return page->nativePlayer() && page->nativePlayer()->model() && page->nativePlayer()->model()->pipeline(); }, 20000));
            // Each round waits for its own player's requests: the site's log runs on from the last.
            const auto segments = [&](int i) { return media.requestsTo(u"/clip/hls/v0/seg%1.ts"_qs.arg(i)).size() + media.requestsTo(u"/clip/hls/v1/seg%1.ts"_qs.arg(i)).size(); };
            const qsizetype variants = playlists.requestCount(), firsts = segments(0), seconds = segments(1);
            if (line == u"quick" && round > 0) {
                // Left while it opens: anywhere from the first playlist to the first picture. The
                // first round plays, so that what a first play loads is there before the counts.
                waitFor([] { return false; }, 40 * (round % 8));
            } else if (line == u"playlist") {
                QVERIFY(waitFor([&] { return playlists.requestCount() > variants; }, 20000));
                waitFor([] { return false; }, 300);
            } else if (line == u"first") {
                QVERIFY(waitFor([&] { return segments(0) > firsts; }, 20000));
                waitFor([] { return false; }, 300);
            } else if (line == u"segment" || line == u"slow") {
                QVERIFY(waitFor([&] { return segments(1) > seconds; }, 20000));
                waitFor([] { return false; }, 300);
            } else {
                QVERIFY(waitFor([&] { return page->nativePlayer()->model()->position() > 0; }, 20000));
            }
            if (line == u"failed")
                QVERIFY(waitFor([&] { return page->nativePlayer()->model()->hasFailed(); }, 20000));
            page.reset();
            QElapsedTimer left;
            left.start();
            // Once the player's connections are closed, nothing more of the stream can come.
            const auto closed = [&] { return media.openConnections() == 0 && playlists.openConnections() == 0; };
            QVERIFY2(waitFor(closed, 500), qPrintable(u"round %1: %2 + %3 open after %4 ms"_qs.arg(round).arg(media.openConnections()).arg(playlists.openConnections()).arg(left.elapsed())));
            // Counted from the players' end: one left before it had connected had nothing to close,
            // and what it sent in the moment it took to read its link closing came after that.
            QVERIFY2(waitFor([] { return Pipeline::running() == 0; }, 1000), qPrintable(u"round %1"_qs.arg(round)));
            const qsizetype asked = media.requests().size() + playlists.requestCount();
            waitFor([] { return false; }, 300);
            QCOMPARE(media.requests().size() + playlists.requestCount(), asked);
            if (round == 0) {
                // The first play starts what lives as long as the process: GStreamer's registry,
                // the sound server's connection, thread pools.
                threads = entries("/proc/self/task");
                files = entries("/proc/self/fd");
                memory = residentMb();
            }
        }
        qInfo("%d rounds: threads %d -> %d, files %d -> %d, resident %lld -> %lld MB", rounds, threads, entries("/proc/self/task"), files,
              entries("/proc/self/fd"), memory, residentMb());
        // GStreamer's task pool lets an idle thread go a moment after its task stopped.
        QVERIFY2(waitFor([&] { return entries("/proc/self/task") <= threads + 5; }, 3000), qPrintable(u"%1 -> %2: %3"_qs.arg(threads).arg(entries("/proc/self/task")).arg(threadNames())));
        QVERIFY2(residentMb() <= memory + 80, qPrintable(u"%1 -> %2 MB"_qs.arg(memory).arg(residentMb())));
        QVERIFY2(entries("/proc/self/fd") <= files + 10, qPrintable(u"%1 -> %2"_qs.arg(files).arg(entries("/proc/self/fd"))));
    }

    // A player process that dies or hangs mid-play is a failure of its own: the client stays,
    // says what happened, and the retry plays on from where the picture stood, in a new player.
    void playerDeathIsAFailureWithARetry_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("moment");
        QTest::addColumn<QString>("text");
        const QString ended = u"播放失败：播放组件意外退出，请重试"_qs;
        const QString hung = u"播放失败：播放组件停止响应，请重试"_qs;
        for (const auto &[name, number] : {std::pair{"SIGKILL", SIGKILL}, std::pair{"SIGSEGV", SIGSEGV}}) {
            for (const char *moment : {"opening", "playing", "seeking", "switching"})
                QTest::addRow("%s while %s", name, moment) << number << QString::fromLatin1(moment) << ended;
        }
        // Alive but silent: it stops answering the client, long before the stall limit.
        QTest::newRow("SIGSTOP while playing") << int(SIGSTOP) << u"playing"_qs << hung;
        // Seeks the silent player never reads, until one does not fit: the play fails where the
        // user sought, not lost somewhere else.
        QTest::newRow("SIGSTOP, seeks until one is lost") << int(SIGSTOP) << u"flooded"_qs << hung;
        // The spare stopped too: it is replaced, not waited on, and the picture moves within 3 s.
        QTest::newRow("SIGSTOP while playing, the spare stopped too") << int(SIGSTOP) << u"spare stopped"_qs << hung;
    }
    void playerDeathIsAFailureWithARetry()
    {
        QFETCH(int, signal);
        QFETCH(QString, moment);
        QFETCH(QString, text);
        // The crashes asked for here are not worth a core file each.
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        PlaybackFixture f;
        PlayerPage page(f, f.auth(PlaybackFixture::kMaster));
        PlayerModel *model = page.model();
        QVERIFY(waitFor([&] { return model->pipeline()->processId() > 0; }, kPlayTimeout));
        if (moment != u"opening") {
            QVERIFY(waitFor([&] { return model->position() > 1500 && model->variants().size() == 2; }, kPlayTimeout));
            if (moment == u"seeking")
                model->seek(9000);
            else if (moment == u"switching")
                model->select(model->variants().first());
        }
        qint64 before = model->position();
        const qint64 player = model->pipeline()->processId();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(kill(pid_t(player), signal), 0);
        if (moment == u"spare stopped")
            QVERIFY(Pipeline::spareProcessId() > 0 && kill(pid_t(Pipeline::spareProcessId()), SIGSTOP) == 0);
        // Without the event loop, so only a command that did not fit can retire the player here.
        for (int i = 0; moment == u"flooded" && i < 5000 && model->pipeline()->processId() == player; ++i)
            model->seek(before = 3000 + i % 2 * 3000);
        QVERIFY(waitFor([&] { return model->hasFailed(); }, 10000));
        QCOMPARE(model->message().value_or(QString()), text);
        // A hung player is found within a few seconds, a lost command at once.
        QVERIFY2(clock.elapsed() < (moment == u"flooded" ? 2000 : 8000), qPrintable(QString::number(clock.elapsed())));
        const qint64 failedAt = model->position();
        QVERIFY2(failedAt >= before - 100 && failedAt <= before + 2500, qPrintable(u"%1 -> %2"_qs.arg(before).arg(failedAt)));
        qint64 lowest = failedAt;
        QObject::connect(model, &PlayerModel::positionChanged, model, [&] { lowest = std::min(lowest, model->position()); });
        QTest::keyClick(page.native(), Qt::Key_Space);
        QVERIFY(waitFor([&] { return !model->hasFailed() && model->position() > failedAt + 1000; }, moment == u"spare stopped" ? 3000 : kPlayTimeout));
        QVERIFY(model->pipeline()->processId() != player);
        QVERIFY2(lowest >= failedAt - 100, qPrintable(u"back to %1 from %2"_qs.arg(lowest).arg(failedAt)));
    }

    // A player that cannot be started says so at once; 播放 tries once more, never in a loop.
    void missingPlayerIsSaidAndTriedOnce_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("no executable") << false;
        // The spare taken had stopped before it loaded; the launcher refuses its replacement.
        QTest::newRow("a stopped spare's replacement refused") << true;
    }
    void missingPlayerIsSaidAndTriedOnce()
    {
        QFETCH(bool, refused);
        PlaybackFixture f;
        // No spare of the real player may stand in for the missing one.
        Pipeline::waitForShutdowns(1000);
        LogCapture log;
        if (refused) {
            Pipeline::prepare();
            QCOMPARE(kill(pid_t(Pipeline::spareProcessId()), SIGSTOP), 0);
            Pipeline::setLauncher([](int link) { close(link); return false; });
        } else {
            qputenv("TOVRA_PLAYER", QDir::temp().filePath(u"no-such-folder/tovra-player"_qs).toLocal8Bit());
        }
        // Ends the stopped spare too should the run fail: it would outlive the test.
        const auto restore = qScopeGuard([] { qunsetenv("TOVRA_PLAYER"); Pipeline::setLauncher({}); Pipeline::waitForShutdowns(1000); });
        PlayerPage page(f, f.auth(PlaybackFixture::kMaster));
        PlayerModel *model = page.model();
        const QString text = u"播放失败：播放组件无法启动，请重新安装客户端后再试"_qs;
        QVERIFY(waitFor([&] { return model->message() == text; }, 2000));
        const auto starts = [&] { return log.taken().filter(u"播放进程无法启动"_qs).size(); };
        const qsizetype tried = starts();
        QTest::keyClick(page.native(), Qt::Key_Space);
        QVERIFY(waitFor([&] { return starts() > tried && model->message() == text; }, 2000));
        waitFor([] { return false; }, 1500);
        QVERIFY2(starts() - tried <= 2, qPrintable(log.taken().join(u'\n')));
        QCOMPARE(model->message().value_or(QString()), text);
    }

    // A spare holds no descriptor of the client's but its link (the web engine opens its
    // connections without close-on-exec, and a player holding one kept it open for the site); one
    // that ends just as a play takes it (gone, its end not yet heard of), or that stopped before it
    // loaded, is replaced without a word: the play plays.
    void spareKeepsNothingAndIsReplacedIfItEnds_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed") << int(SIGKILL);
        QTest::newRow("stopped before it loaded") << int(SIGSTOP);
    }
    void spareKeepsNothingAndIsReplacedIfItEnds()
    {
        QFETCH(int, signal);
        PlaybackFixture f;
        int ends[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        const auto target = [](const QString &link) {
            char bytes[256];
            const ssize_t got = readlink(link.toLocal8Bit().constData(), bytes, sizeof bytes);
            return QString::fromLatin1(bytes, std::max<ssize_t>(got, 0));
        };
        const QString ours = target(u"/proc/self/fd/%1"_qs.arg(ends[0]));
        // A spare started before the descriptor was made holds nothing of it anyway.
        if (const qint64 old = Pipeline::spareProcessId())
            kill(pid_t(old), SIGKILL);
        const auto spare = [&] { Pipeline::prepare(); return Pipeline::spareProcessId(); };
        QVERIFY(waitFor([&] { return target(u"/proc/%1/exe"_qs.arg(spare())).endsWith(u"tovra-player"_qs); }));
        const qint64 pid = Pipeline::spareProcessId();
        QStringList held;
        for (const QString &fd : QDir(u"/proc/%1/fd"_qs.arg(pid)).entryList(QDir::System | QDir::NoDotAndDotDot))
            held << target(u"/proc/%1/fd/"_qs.arg(pid) + fd);
        close(ends[0]);
        close(ends[1]);
        QVERIFY2(!held.contains(ours), qPrintable(held.join(u' ')));
        QCOMPARE(kill(pid_t(pid), signal), 0);
        // Dead or stopped, and no event of the client's runs before the play takes it.
        const auto struck = [&] {
            QFile stat(u"/proc/%1/stat"_qs.arg(pid));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().split(')').last().trimmed().startsWith(signal == SIGSTOP ? 'T' : 'Z');
        };
        QElapsedTimer clock;
        clock.start();
        while (!struck() && clock.elapsed() < 5000)
            usleep(1000);
        QVERIFY(struck());
        PlayerModel model(f.auth(PlaybackFixture::kMaster), kPlayerEntry, 0);
        model.play();
        QVERIFY(waitFor([&] { return model.position() > 1000 || model.hasFailed(); }, kPlayTimeout));
        QVERIFY2(!model.hasFailed(), qPrintable(model.message().value_or(QString())));
        QVERIFY(model.pipeline()->processId() != pid);
    }

private:
    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
};

TOVRA_TEST(LeavingTest)

#include "tst_leaving.moc"
