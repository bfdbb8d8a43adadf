#include "views/player/nativeplayer.h"
#include "views/player/pipeline.h"
#include "views/player/playermodel.h"
#include "views/player/playerview.h"

#include "playback/playbackfixture.h"

#include <QElapsedTimer>
#include <QMap>
#include <QMutex>
#include <QTest>
#include <gst/gst.h>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {


int entries(const char *folder)
{
    return int(QDir(QString::fromLatin1(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

// GStreamer objects of a pipeline still alive; finalized on whichever thread lets go last. A
// process-wide count: an object that outlives a failed row still finds it.
struct Alive
{
    QMutex mutex;
    QMap<GObject *, QString> names;
};
Alive &alive()
{
    static Alive a;
    return a;
}
int aliveObjects()
{
    QMutexLocker lock(&alive().mutex);
    return int(alive().names.size());
}
QString aliveNames()
{
    QMutexLocker lock(&alive().mutex);
    return QStringList(alive().names.values()).join(u' ');
}

void watchAll(GstElement *playbin)
{
    const auto watch = [](GObject *object) {
        {
            QMutexLocker lock(&alive().mutex);
            alive().names.insert(object, QString::fromUtf8(GST_OBJECT_NAME(object)));
        }
        g_object_weak_ref(object, [](gpointer, GObject *gone) {
            QMutexLocker lock(&alive().mutex);
            alive().names.remove(gone);
        }, nullptr);
    };
    watch(G_OBJECT(playbin));
    GstIterator *children = gst_bin_iterate_recurse(GST_BIN(playbin));
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
        watch(G_OBJECT(g_value_get_object(&child)));
        g_value_reset(&child);
    }
    g_value_unset(&child);
    gst_iterator_free(children);
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

// Leaving the native player: the play's pipeline, threads, sockets and files are gone once its
// shutdown ends, nothing more of the left stream is fetched a second after leaving, and the
// client survives leaving on any line. TOVRA_LEAVE_ROUNDS=N runs N rounds a row (the stress loop).
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
        // Ten seconds a round (see below): in the stress loop only.
        if (qEnvironmentVariableIsSet("TOVRA_LEAVE_ROUNDS"))
            QTest::newRow("stalled mid-playlist") << u"playlist"_qs;
        QTest::newRow("quick cycles") << u"quick"_qs;
        // A failure stops the pipeline before the user leaves: its sound chain is gone by then.
        QTest::newRow("failed, then left") << u"failed"_qs;
    }
    void leavingLeavesNothing()
    {
        QFETCH(QString, line);
        const int rounds = std::max(line == u"playlist" || line == u"failed" ? 1 : 2, qEnvironmentVariableIntValue("TOVRA_LEAVE_ROUNDS"));
        PlaybackFixture f;
        // Segments come from a site of their own, so its connections are the demuxer's alone.
        FakeSite media;
        QVERIFY(media.start());
        const QStringList segments = serveFolder(media, u"/clip/"_qs, mediaDir());
        for (const QString &path : segments) {
            const int index = path.section(u"seg"_qs, 1).section(u'.', 0, 0).toInt();
            // The first segment comes at once; what the demuxer loads after it crawls.
            if (line == u"slow" && path.endsWith(u".ts") && index >= 1)
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
            host.route(u"/clip/hls/master.m3u8"_qs, FakeSite::text(fileBytes(mediaDir() + u"/hls/master.m3u8"_qs)));
        });
        int threads = 0;
        int files = 0;
        qint64 memory = 0;
        for (int round = 0; round < rounds; ++round) {
            f.authorise({playlists.url().toString() + u"clip/hls/master.m3u8"_qs, u"play-tok"_qs, 0, 1});
            auto page = std::make_unique<PlayerView>(kPlayerEntry, u"星河"_qs, 0);
            page->resize(640, 400);
            page->show();
            QVERIFY(waitFor([&] { return page->nativePlayer() && page->nativePlayer()->model() && page->nativePlayer()->model()->pipeline(); }, 20000));
            Pipeline *pipeline = page->nativePlayer()->model()->pipeline();
            if (line == u"quick" && round > 0) {
                // Left while it opens: anywhere from the first playlist to the first picture. The
                // first round plays, so that what a first play loads is there before the counts.
                QVERIFY(waitFor([&] { return pipeline->element() != nullptr; }, 20000));
                waitFor([] { return false; }, 40 * (round % 8));
            } else if (line == u"playlist") {
                QVERIFY(waitFor([&] { return pipeline->element() != nullptr; }, 20000));
                waitFor([] { return false; }, 800);
            } else if (line == u"segment" || line == u"slow") {
                QVERIFY(waitFor([&] { return media.requestsTo(u"/clip/hls/v0/seg1.ts"_qs).size() + media.requestsTo(u"/clip/hls/v1/seg1.ts"_qs).size() > 0; }, 20000));
                waitFor([] { return false; }, 300);
            } else {
                QVERIFY(waitFor([&] { return page->nativePlayer()->model()->position() > 0; }, 20000));
            }
            watchAll(pipeline->element());
            if (line == u"failed")
                QVERIFY(waitFor([&] { return page->nativePlayer()->model()->hasFailed(); }, 20000));
            page.reset();
            QElapsedTimer left;
            left.start();
            // Once the demuxer's connections are closed, nothing more of the stream can come.
            QVERIFY2(waitFor([&] { return media.openConnections() == 0; }, 1200), qPrintable(u"round %1: %2 open"_qs.arg(round).arg(media.openConnections())));
            const qsizetype asked = media.requests().size();
            // A playlist is fetched while the demuxer's thread waits for it, which nothing cancels
            // before the site's silence times out (10 s); meanwhile nothing comes.
            QVERIFY2(waitFor([] { return Pipeline::running() == 0; }, line == u"playlist" ? 12000 : 3000), qPrintable(u"round %1"_qs.arg(round)));
            QVERIFY2(waitFor([] { return aliveObjects() == 0; }, 200), qPrintable(u"round %1: alive: %2"_qs.arg(round).arg(aliveNames())));
            QCOMPARE(media.requests().size(), asked);
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
