#include "models/playerlogic.h"
#include "store/themestore.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/player/elementhooks.h"
#include "views/player/nativeplayer.h"
#include "views/player/pipwindow.h"
#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"
#include "views/player/playerview.h"
#include "views/player/qualitymenu.h"
#include "views/player/shakawebview.h"

#include "playbackfixture.h"
#include "support/screentext.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QAudioOutput>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMutex>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gst/gst.h>
#include <atomic>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using F = PlaybackFixture;

namespace {

const PlayEntry kEntry{3, u"did-42"_qs, u"entry-tok"_qs, 4102444800};
constexpr int kPlayTimeout = 20000;

// A player page shown at a usual size, for a stream the fixture authorises.
struct PlayerPage
{
    PlayerView view;
    PlayerPage(F &f, const PlayAuth &auth, int startAt = 0) : view(kEntry, u"星河"_qs, startAt)
    {
        f.authorise(auth);
        view.resize(960, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
    }
    NativePlayer *native() const { return view.nativePlayer(); }
    PlayerModel *model() const { return view.nativePlayer()->model(); }
    QMediaPlayer *player() const { return model()->player(); }
};

// Light or dark for as long as it lives: through the store's own cycle (the settings live in
// the fixture's home), with the application palette the client installs for it.
struct Appearance
{
    QPalette previous = QApplication::palette();
    explicit Appearance(bool dark)
    {
        ThemeStore *store = ThemeStore::shared();
        const auto wanted = dark ? ThemeStore::Mode::Dark : ThemeStore::Mode::Light;
        for (int i = 0; i < 3 && store->mode() != wanted; ++i)
            store->toggle();
        QApplication::setPalette(Palette::applicationPalette(dark));
    }
    ~Appearance()
    {
        while (ThemeStore::shared()->mode() != ThemeStore::Mode::Auto)
            ThemeStore::shared()->toggle();
        QApplication::setPalette(previous);
    }
};

QVariant evaluate(QWebEngineView *web, const QString &script)
{
    QVariant result;
    bool done = false;
    web->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    waitFor([&] { return done; });
    return result;
}

// Asks the page again until the script's value satisfies the test.
bool untilScript(QWebEngineView *web, const QString &script, const std::function<bool(const QVariant &)> &test)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kPlayTimeout) {
        if (test(evaluate(web, script)))
            return true;
        waitFor([] { return false; }, 20);
    }
    return false;
}

// Holds back every picture of the backend's H.264 decoders from now on, as a video stream that
// was never linked does: the sound and the position go on, the picture stops. A decoder made
// later (the stream opened again) passes its pictures as usual.
struct PictureStopper
{
    // Decoders are made on the backend's streaming threads, several at once.
    static QMutex &lock()
    {
        static QMutex mutex;
        return mutex;
    }
    static QList<GWeakRef *> &decoders()
    {
        static QList<GWeakRef *> list;
        return list;
    }
    // Set, the next stream set up finds no video decoder, as when a seek's flush meets the
    // decoder being set up.
    static inline std::atomic<bool> refuseNext = false;
    static int select(GstElement *bin, GstPad *, GstCaps *, GstElementFactory *factory, gpointer)
    {
        if (!gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER | GST_ELEMENT_FACTORY_TYPE_MEDIA_VIDEO))
            return 0; // try
        if (refuseNext.exchange(false))
            g_object_set_data(G_OBJECT(bin), "refused", bin);
        return g_object_get_data(G_OBJECT(bin), "refused") ? 2 : 0; // skip : try
    }
    static gboolean note(GSignalInvocationHint *, guint count, const GValue *values, gpointer)
    {
        auto *element = count >= 3 ? static_cast<GObject *>(g_value_get_object(&values[2])) : nullptr;
        if (element && qstrcmp(G_OBJECT_TYPE_NAME(element), "avdec_h264") == 0) {
            QMutexLocker locker(&lock());
            g_weak_ref_init(decoders().emplace_back(new GWeakRef), element);
        } else if (element && qstrcmp(G_OBJECT_TYPE_NAME(element), "GstURIDecodeBin") == 0 && !g_object_get_data(element, "watched")) {
            g_object_set_data(element, "watched", element);
            g_signal_connect(element, "autoplug-select", G_CALLBACK(select), nullptr);
        }
        return TRUE;
    }
    // Once the backend is up (a media player exists).
    static void watch()
    {
        static const bool hooked = hookAddedElements(note);
        Q_UNUSED(hooked);
    }
    static int stopAll()
    {
        QMutexLocker locker(&lock());
        int stopped = 0;
        for (GWeakRef *ref : std::as_const(decoders())) {
            if (auto *decoder = static_cast<GstElement *>(g_weak_ref_get(ref))) {
                GstPad *out = gst_element_get_static_pad(decoder, "src");
                gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, [](GstPad *, GstPadProbeInfo *, gpointer) { return GST_PAD_PROBE_DROP; },
                                  nullptr, nullptr);
                gst_object_unref(out);
                gst_object_unref(decoder);
                ++stopped;
            }
        }
        return stopped;
    }
};

// The token as the native player writes it into a query.
QString tokenInQuery(const QString &token)
{
    const QString query = player::authedUrl(u"http://h/a"_qs, token, 0)->query(QUrl::FullyEncoded);
    return query.section(u"&token="_qs, 1).section(u"&ct="_qs, 0, 0);
}

}

class PlaybackTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(mediaDir() + u"/hls/master.m3u8"_qs), "no test clip: build the tovra_media target");
        QVERIFY2(QFile::exists(shakaDir() + u"/shaka-player.ui.js"_qs), "no player library: run scripts/setup.sh");
    }

    // The native player really plays: frames reach the surface, a resume lands where it should,
    // the notices come as the page promises and a broken stream ends in a Chinese sentence.
    void nativePlays_data()
    {
        QTest::addColumn<int>("startAt");
        QTest::addColumn<qint64>("et");
        // What goes wrong: every segment answers 404; the picture stops while the sound plays on;
        // the site goes down after the first segments and comes back.
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QString>("notice");
        QTest::newRow("first frame") << 0 << qint64(0) << QString() << QString();
        QTest::newRow("resume at 6 s") << 6 << qint64(0) << QString() << u"已从上次看到的 0:06 继续播放"_qs;
        QTest::newRow("trial under a minute") << 0 << qint64(30) << QString() << u"非会员试看 1 分钟，开通会员可观看完整版"_qs;
        QTest::newRow("segments answer 404") << 0 << qint64(0) << u"404"_qs << u"播放失败："_qs;
        QTest::newRow("picture stops while playing") << 0 << qint64(0) << u"picture stops"_qs << QString();
        QTest::newRow("picture stops, then its decoder is lost") << 0 << qint64(0) << u"decoder lost"_qs << QString();
        QTest::newRow("site down, then back") << 0 << qint64(0) << u"site down"_qs << u"播放失败："_qs;
        QTest::newRow("site silent, then back") << 0 << qint64(0) << u"site silent"_qs << u"播放失败："_qs;
    }
    void nativePlays()
    {
        QFETCH(int, startAt);
        QFETCH(qint64, et);
        QFETCH(QString, trouble);
        QFETCH(QString, notice);
        F f;
        const auto failSegments = [&](int from, const FakeSite::Reply &reply) {
            for (const QString &path : std::as_const(f.served)) {
                if (path.endsWith(u".ts") && path.section(u"seg"_qs, 1).section(u'.', 0, 0).toInt() >= from)
                    f.site.route(path, reply);
            }
        };
        // Down answers 404; silent takes the requests and never answers, and the backend says
        // nothing of it.
        const bool down = trouble == u"site down" || trouble == u"site silent";
        if (trouble == u"404" || down)
            failSegments(trouble == u"404" ? 0 : 2, trouble == u"site silent" ? FakeSite::Reply().stalling() : FakeSite::text("", 404));
        PlayerPage page(f, f.auth(F::kMaster, et), startAt);
        PictureStopper::watch();
        QCOMPARE(page.view.shown(), PlayerView::Shown::Native);
        VideoSurface *surface = page.native()->surface();
        FrameWatch watch(surface->videoSink());
        if (!notice.isEmpty() && !down) {
            QVERIFY(waitFor([&] { return page.model()->message().value_or(QString()).startsWith(notice); }, kPlayTimeout));
            const QString shown = page.native()->notice()->text();
            QCOMPARE(shown, *page.model()->message());
            QVERIFY2(withoutLatinWords(shown), qPrintable(shown));
        }
        if (trouble == u"404") {
            QVERIFY(page.native()->notice()->isVisible());
            QCOMPARE(watch.frames, 0);
            QCOMPARE(page.native()->controls()->playButton()->accessibleName(), u"播放"_qs);
            return;
        }
        QVERIFY(waitFor([&] { return watch.frames > 0; }, kPlayTimeout));
        if (down) {
            QVERIFY(waitFor([&] { return page.model()->message().value_or(QString()).startsWith(notice); }, kPlayTimeout + PlayerModel::kStuckLimitMs));
            // The picture stops when the bar says it has, though segments were loaded ahead.
            QCOMPARE(page.native()->controls()->playButton()->accessibleName(), u"播放"_qs);
            const int stopped = watch.frames;
            const qint64 failedAt = page.model()->position();
            waitFor([] { return false; }, 1000);
            QVERIFY2(watch.frames <= stopped + 1, qPrintable(u"%1 -> %2"_qs.arg(stopped).arg(watch.frames)));
            // Back up, 播放 tries again from there: new requests, and the message goes with the
            // first picture.
            f.served = serveFolder(f.site, u"/clip/"_qs, mediaDir());
            const qsizetype mark = f.site.requests().size();
            QTest::keyClick(page.native(), Qt::Key_Space);
            QVERIFY2(waitFor([&] { return watch.frames > stopped + 5 && !page.model()->message(); }, kPlayTimeout),
                     qPrintable(f.segmentsSince(mark).join(u' ')));
            QVERIFY(!f.segmentsSince(mark).isEmpty());
            QVERIFY2(page.model()->position() >= failedAt - 2000, qPrintable(u"%1 -> %2"_qs.arg(failedAt).arg(page.model()->position())));
        }
        if (startAt > 0) {
            QVERIFY(waitFor([&] { return page.model()->didSeek(); }));
            // Read the position as the third picture after the seek arrives, not when the wait
            // next looks: on a loaded machine that can be a second later, and playback goes on.
            const int seen = watch.frames;
            qint64 landed = -1;
            const auto mark = QObject::connect(surface->videoSink(), &QVideoSink::videoFrameChanged, surface, [&] {
                if (landed < 0 && watch.frames > seen + 2)
                    landed = page.model()->position();
            });
            QVERIFY(waitFor([&] { return landed >= 0; }, kPlayTimeout));
            QObject::disconnect(mark);
            QVERIFY2(qAbs(landed - startAt * 1000) <= 1000, qPrintable(QString::number(landed)));
        }
        if (trouble == u"picture stops" || trouble == u"decoder lost") {
            QVERIFY(waitFor([&] { return page.model()->position() >= 1000; }, kPlayTimeout));
            // The stream opened again finds no decoder for its picture, and is opened once more.
            PictureStopper::refuseNext = trouble == u"decoder lost";
            const auto disarm = qScopeGuard([] { PictureStopper::refuseNext = false; });
            QVERIFY(PictureStopper::stopAll() > 0);
            const qint64 stoppedAt = page.model()->position();
            const int reopens = trouble == u"decoder lost" ? 2 : 1;
            QVERIFY(waitFor([&] { return page.model()->reopenCount() == reopens; }, kPlayTimeout));
            const int seen = watch.frames;
            QVERIFY2(waitFor([&] { return watch.frames > seen + 5 && page.player()->playbackState() == QMediaPlayer::PlayingState; }, kPlayTimeout),
                     qPrintable(u"%1 frames"_qs.arg(watch.frames - seen)));
            QVERIFY2(page.model()->position() >= stoppedAt, qPrintable(u"%1 -> %2"_qs.arg(stoppedAt).arg(page.model()->position())));
        }
        // The bar counts from the clip's first picture (the first the pipeline gave, before any
        // seek): the picture on screen is the one the bar names.
        QList<qint64> offsets;
        const auto painted = QObject::connect(surface, &VideoSurface::framePainted, surface, [&] {
            offsets << page.model()->position() - (surface->paintedStartTime() - watch.first.startTime()) / 1000;
        });
        QVERIFY(waitFor([&] { return offsets.size() >= 9; }, kPlayTimeout));
        QObject::disconnect(painted);
        std::sort(offsets.begin(), offsets.end());
        QVERIFY2(qAbs(offsets[offsets.size() / 2]) <= 100, qPrintable(QString::number(offsets[offsets.size() / 2])));
        QVERIFY(page.native()->notice()->isVisible() == (!notice.isEmpty() && trouble.isEmpty()));
    }

    // A chosen quality plays from where the picture was, fetching no segment before it again, on
    // a first play and on a play again after the end; "自动" stays on the master playlist.
    void qualitySwitchKeepsPosition_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("again");
        // The picture stops after the choice, and the stream is opened again.
        QTest::addColumn<bool>("reopened");
        QTest::newRow("720p") << u"720p"_qs << u"/clip/hls/v1/"_qs << false << false;
        QTest::newRow("480p") << u"480p"_qs << u"/clip/hls/v0/"_qs << false << false;
        QTest::newRow("480p, played again after the end") << u"480p"_qs << u"/clip/hls/v0/"_qs << true << false;
        QTest::newRow("480p, then the picture stops") << u"480p"_qs << u"/clip/hls/v0/"_qs << false << true;
    }
    void qualitySwitchKeepsPosition()
    {
        QFETCH(QString, label);
        QFETCH(QString, folder);
        QFETCH(bool, again);
        QFETCH(bool, reopened);
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        PictureStopper::watch();
        FrameWatch watch(page.native()->surface()->videoSink());
        PlayerModel *model = page.model();
        QVERIFY(waitFor([&] { return model->variants().size() == 2 && page.player()->isSeekable(); }, kPlayTimeout));
        if (again) {
            model->seek(model->duration() - 1500);
            QVERIFY(waitFor([&] { return page.player()->mediaStatus() == QMediaPlayer::EndOfMedia; }, kPlayTimeout));
            QTest::keyClick(page.native(), Qt::Key_Space);
            QVERIFY(waitFor([&] { return model->isShownPlaying() && model->position() < 3000 && page.player()->isSeekable(); }, kPlayTimeout));
        }
        // Once the seek has landed: the backend reports its target at once. Played again, it
        // plays on to where the choice is made, as the user lets it.
        if (!again)
            model->seek(9000);
        QVERIFY(waitFor([&] { return model->position() >= (again ? 6300 : 9300); }, kPlayTimeout));
        QMenu *menu = page.view.qualityMenu()->choices();
        QAction *choice = nullptr;
        for (QAction *a : menu->actions())
            choice = a->text() == label ? a : choice;
        QVERIFY(choice);
        const qint64 before = model->position();
        const qsizetype mark = f.site.requests().size();
        choice->trigger();
        QCOMPARE(page.view.qualityMenu()->text(), label);
        const int seen = watch.frames;
        // On from where it was, well past the segment the choice was made in, however long a
        // loaded machine takes to ask for the chosen variant.
        QVERIFY2(waitFor([&] {
                     return watch.frames > seen + 30 && model->isShownPlaying() && model->position() > before + 2000
                            && !f.segmentsSince(mark).filter(folder).isEmpty();
                 }, kPlayTimeout),
                 qPrintable(u"%1 -> %2: %3"_qs.arg(before).arg(model->position()).arg(f.segmentsSince(mark).join(u' '))));
        // The segment playing is the first that may be fetched; once the chosen variant's
        // segments come, no other's follow. Segments start where the playlist's durations say.
        const QList<qint64> starts = segmentStarts(mediaDir() + folder.mid(5) + u"index.m3u8"_qs);
        const qsizetype playing = std::upper_bound(starts.cbegin(), starts.cend(), before) - starts.cbegin() - 1;
        const auto index = [](const QString &segment) { return segment.section(u"seg"_qs, 1).section(u'.', 0, 0).toLongLong(); };
        QStringList segments = f.segmentsSince(mark);
        // On a loaded machine the backend can lose the picture at the switch: the stream opened
        // again starts from its first segments before it seeks (as the last row shows), and
        // what it fetches from there is the reopening's, not the switch's.
        if (model->reopenCount() > 0) {
            const auto back = std::find_if(segments.cbegin(), segments.cend(), [&](const QString &s) { return index(s) < playing; });
            segments.erase(back, segments.cend());
        }
        const qsizetype first = segments.indexOf(segments.filter(folder).constFirst());
        for (qsizetype i = 0; i < segments.size(); ++i) {
            QVERIFY2(index(segments[i]) >= playing, qPrintable(segments.join(u' ')));
            QVERIFY2(i < first || segments[i].startsWith(folder), qPrintable(segments.join(u' ')));
        }

        if (reopened) {
            // The stream opened again keeps the choice from the position on; well before the
            // end, so it has time to play.
            model->seek(3000);
            QVERIFY(waitFor([&] { return model->position() >= 3300 && model->isShownPlaying(); }, kPlayTimeout));
            QVERIFY(PictureStopper::stopAll() > 0);
            const qsizetype stopped = f.site.requests().size();
            QVERIFY(waitFor([&] { return model->reopenCount() == 1 && model->isShownPlaying(); }, kPlayTimeout));
            const qint64 at = model->position();
            QVERIFY(waitFor([&] { return model->position() > at + 2000 && f.segmentsSince(stopped).last().endsWith(u"seg9.ts"); }, kPlayTimeout));
            const QStringList after = f.segmentsSince(stopped);
            const qsizetype from = std::upper_bound(starts.cbegin(), starts.cend(), at) - starts.cbegin();
            for (const QString &segment : after)
                QVERIFY2(index(segment) <= from || segment.startsWith(folder), qPrintable(after.join(u' ')));
        }

        menu->actions().constFirst()->trigger();
        QCOMPARE(page.view.qualityMenu()->text(), u"自动"_qs);
        QCOMPARE(page.player()->source(), model->streamUrl());
        // 自动 plays on at the best quality; the page closing mid-switch can deadlock Qt's backend.
        const int automatic = watch.frames;
        QVERIFY(waitFor([&] { return (watch.frames > automatic + 15 && watch.last.width() == 1280) || page.player()->mediaStatus() == QMediaPlayer::EndOfMedia; },
                        kPlayTimeout));
    }

    // Reports go out every 15 s of playback and once at the end, with the form the site reads.
    void progressWhilePlayingAndAtStop()
    {
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        QVERIFY(waitFor([&] { return page.player()->isSeekable(); }, kPlayTimeout));
        // Close to the first report without playing up to it: a seek forward reports nothing
        // before the position passes 15 s.
        page.player()->setPosition(13000);
        page.player()->setPlaybackRate(2.0);
        QVERIFY(waitFor([&] { return !f.progressForms().isEmpty(); }, kPlayTimeout));
        QCOMPARE(f.progressForms().size(), 1);
        const QUrlQuery first = f.progressForms().first();
        QCOMPARE(first.queryItemValue(u"did"_qs), kEntry.did);
        QCOMPARE(first.queryItemValue(u"ep"_qs), u"3"_qs);
        // Sampled once a second at double speed: the first sample at 15 s or just past it.
        const int pos = first.queryItemValue(u"pos"_qs).toInt();
        QVERIFY2(pos >= 15 && pos <= 17, qPrintable(QString::number(pos)));
        QCOMPARE(first.queryItemValue(u"duration"_qs), u"20"_qs);
        const qint64 sampled = page.model()->sampledPosition();
        page.view.hide();
        QVERIFY(waitFor([&] { return f.progressForms().size() == 2; }));
        QCOMPARE(f.progressForms().last().queryItemValue(u"pos"_qs), QString::number(sampled));
    }

    // Quitting while a video plays sends the final report, waiting for it at most a second.
    void quitSendsTheFinalReport_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<bool>("answered");
        QTest::newRow("site answers") << FakeSite::ok("{}") << true;
        QTest::newRow("site never answers") << FakeSite::Reply().stalling() << false;
    }
    void quitSendsTheFinalReport()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(bool, answered);
        F f;
        f.site.route(F::kProgress, reply);
        PlayerModel model(f.auth(F::kMaster), kEntry, 0);
        model.play();
        QVERIFY(waitFor([&] { return model.player()->position() > 0; }, kPlayTimeout));
        model.samplePosition(7);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit"));
        const qint64 waited = clock.elapsed();
        // A second for the report, and a little for letting go of the stream.
        QVERIFY2(waited < 1500, qPrintable(QString::number(waited)));
        QCOMPARE(f.site.requestsTo(F::kProgress).size(), 1);
        QCOMPARE(f.progressForms().first().queryItemValue(u"pos"_qs), u"7"_qs);
        QCOMPARE(PlayerModel::reportsInFlight() == 0, answered);
        if (!answered)
            QVERIFY2(waited >= 900, qPrintable(QString::number(waited)));
        QVERIFY(!model.isPlaying());
    }

    // The player's keys act on the playback the user sees.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("effect");
        // The control the mouse left the focus on, by name; empty for the player itself.
        QTest::addColumn<QString>("focused");
        QTest::newRow("Space pauses") << int(Qt::Key_Space) << u"paused"_qs << QString();
        QTest::newRow("M mutes") << int(Qt::Key_M) << u"muted"_qs << QString();
        QTest::newRow("Right seeks 10 s on") << int(Qt::Key_Right) << u"+10"_qs << QString();
        QTest::newRow("Left seeks 10 s back") << int(Qt::Key_Left) << u"-10"_qs << QString();
        QTest::newRow("F full screen, Esc back") << int(Qt::Key_F) << u"full"_qs << QString();
        QTest::newRow("Space pauses after a click on 静音") << int(Qt::Key_Space) << u"paused"_qs << u"静音"_qs;
        QTest::newRow("Right seeks after a click on 画中画") << int(Qt::Key_Right) << u"+10"_qs << u"画中画"_qs;
        QTest::newRow("Left seeks back from 清晰度") << int(Qt::Key_Left) << u"-10"_qs << u"清晰度"_qs;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(QString, effect);
        QFETCH(QString, focused);
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        NativePlayer *native = page.native();
        QMediaPlayer *player = page.player();
        // Only a seek needs to wait until the stream can seek.
        const bool seeks = effect.endsWith(u"10");
        QVERIFY(waitFor([&] { return (player->isSeekable() || !seeks) && page.model()->variants().size() == 2; }, kPlayTimeout));
        if (effect == u"-10") {
            player->setPosition(14000);
            QVERIFY(waitFor([&] { return player->position() >= 14000; }, kPlayTimeout));
        }
        QWidget *target = native;
        for (QWidget *control : page.view.findChildren<QWidget *>())
            target = !focused.isEmpty() && control->accessibleName() == focused ? control : target;
        // The quality button's click opens its menu; what matters is the focus it leaves behind.
        if (target == page.view.qualityMenu())
            target->setFocus(Qt::MouseFocusReason);
        else if (target != native)
            QTest::mouseClick(target, Qt::LeftButton);
        QVERIFY(focused.isEmpty() || QApplication::focusWidget() == target);
        const qint64 before = player->position();
        QTest::keyClick(target, Qt::Key(key));
        if (effect == u"paused") {
            QCOMPARE(player->playbackState(), QMediaPlayer::PausedState);
            QCOMPARE(native->controls()->playButton()->accessibleName(), u"播放"_qs);
            QTest::keyClick(native, Qt::Key_Space);
            QCOMPARE(player->playbackState(), QMediaPlayer::PlayingState);
        } else if (effect == u"muted") {
            QVERIFY(player->audioOutput()->isMuted());
            QCOMPARE(native->controls()->muteButton()->accessibleName(), u"取消静音"_qs);
            native->controls()->volumeBar()->setValue(40);
            QCOMPARE(qRound(player->audioOutput()->volume() * 100), 40);
            QTest::keyClick(native, Qt::Key_M);
            QVERIFY(!player->audioOutput()->isMuted());
        } else if (effect == u"full") {
            QVERIFY(native->surface()->isFullScreen());
            QCOMPARE(QAccessible::queryAccessibleInterface(native->surface())->role(), QAccessible::Window);
            QCOMPARE(QAccessible::queryAccessibleInterface(native->surface())->text(QAccessible::Name), u"星河 - 全屏播放"_qs);
            QTest::keyClick(native->surface(), Qt::Key_Escape);
            QVERIFY(!native->surface()->isFullScreen());
        } else {
            const qint64 target = before + (effect == u"+10" ? 10000 : -10000);
            QVERIFY2(waitFor([&] { return qAbs(player->position() - target) <= 1500; }, 5000),
                     qPrintable(u"%1 -> %2"_qs.arg(before).arg(player->position())));
        }
    }

    // The picture moves into a small window above the others and comes back, playing on all the
    // while; then the same window goes on to an HTML5 page, as a user does later in a session.
    void pictureInPicture()
    {
        F f;
        NavigationStack window;
        window.resize(960, 640);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        f.authorise(f.auth(F::kMaster));
        auto *view = new PlayerView(kEntry, u"星河"_qs, 0);
        window.push(Route::play(kEntry, view->title(), 0), view);
        QVERIFY(waitFor([&] { return view->shown() == PlayerView::Shown::Native; }));
        NativePlayer *native = view->nativePlayer();
        QMediaPlayer *player = native->model()->player();
        FrameWatch inline_(native->surface()->videoSink());
        QVERIFY(waitFor([&] { return inline_.frames > 0 && player->position() > 0; }, kPlayTimeout));
        native->controls()->pipButton()->click();
        QPointer<PipWindow> pip = native->pipWindow();
        QVERIFY(pip && pip->isVisible());
        QVERIFY(pip->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        // The picture comes along at once rather than after a black wait for the next frame.
        QVERIFY(pip->surface()->videoSink()->videoFrame().isValid());
        QAccessibleInterface *named = QAccessible::queryAccessibleInterface(pip);
        QCOMPARE(named->role(), QAccessible::Window);
        QCOMPARE(named->text(QAccessible::Name), u"星河 - 画中画"_qs);
        FrameWatch watch(pip->surface()->videoSink());
        // The picture goes on moving: frames keep coming while the position runs.
        const qint64 movedAt = player->position();
        QVERIFY2(waitFor([&] { return watch.frames > 6 && player->position() > movedAt + 300; }, kPlayTimeout),
                 qPrintable(u"%1 frames, %2 -> %3"_qs.arg(watch.frames).arg(movedAt).arg(player->position())));
        const QImage grab = grabShown(pip, pip->surface());
        QVERIFY(showsPicture(grab));
        for (QToolButton *button : pip->findChildren<QToolButton *>())
            QVERIFY2(button->isVisible() && !button->icon().isNull(), qPrintable(button->accessibleName()));
        QVERIFY(!saveGrab(grab, u"player-pip"_qs).isEmpty());
        // The test clip's picture is colourful, never black where the surface is.
        QVERIFY(grab.pixelColor(grab.width() / 2, grab.height() / 3) != QColor(Qt::black));

        const QPoint start = pip->pos();
        QTest::mousePress(pip->surface(), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(pip->surface(), QPoint(70, 50));
        QTest::mouseRelease(pip->surface(), Qt::LeftButton, {}, QPoint(70, 50));
        QCOMPARE(pip->pos(), start + QPoint(50, 30));
        QVERIFY(pip->findChild<QSizeGrip *>());
        pip->resize(100, 50);
        QCOMPARE(pip->size(), PipWindow::kMinimumSize);

        pip->playButton()->click();
        QCOMPARE(player->playbackState(), QMediaPlayer::PausedState);
        pip->playButton()->click();
        QCOMPARE(player->playbackState(), QMediaPlayer::PlayingState);
        pip->backButton()->click();
        QVERIFY(!native->pipWindow());
        QVERIFY(native->surface()->notice().isEmpty());
        QVERIFY(native->surface()->videoSink()->videoFrame().startTime() >= watch.last.startTime());
        // A window container left without its window brings the whole window down when a page
        // around it moves: the picture is drawn without any.
        for (QWidget *widget : window.findChildren<QWidget *>())
            QVERIFY2(!widget->inherits("QWindowContainer"), widget->parentWidget()->metaObject()->className());
        const int back = inline_.frames;
        const qint64 backAt = player->position();
        QVERIFY2(waitFor([&] { return inline_.frames > back + 6 && player->position() > backAt + 300; }, kPlayTimeout),
                 qPrintable(u"%1 frames, %2 -> %3"_qs.arg(inline_.frames - back).arg(backAt).arg(player->position())));

        native->togglePictureInPicture();
        pip = native->pipWindow();
        QVERIFY(pip && pip->isVisible());
        window.pop(); // leaving the page
        QVERIFY(waitFor([&] { return !pip || !pip->isVisible(); }));

        serveShaka(f.site, u"/media/"_qs);
        qputenv("TOVRA_MEDIA_URL", f.site.url(u"media/"_qs).toEncoded());
        f.authorise(f.auth(F::kManifest));
        auto *web = new PlayerView(kEntry, u"北方"_qs, 0);
        window.push(Route::play(kEntry, web->title(), 0), web);
        QVERIFY(waitFor([&] { return web->shown() == PlayerView::Shown::Web && web->webPlayer()->isVisible(); }));
        qunsetenv("TOVRA_MEDIA_URL");
    }

    // The control bar reads in both appearances: every symbol stands out from the bar, hover
    // and pressed grounds keep the symbol readable, every control is reached by Tab with a
    // name, and the focused one wears a visible ring.
    void controlsReadableAndReachable_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void controlsReadableAndReachable()
    {
        QFETCH(bool, dark);
        F f;
        Appearance opened(!dark);
        PlayerPage page(f, f.auth(F::kMaster));
        NativePlayer *native = page.native();
        FrameWatch watch(native->surface()->videoSink());
        QVERIFY(waitFor([&] { return watch.frames > 0 && page.model()->variants().size() == 2; }, kPlayTimeout));
        PlayerControls *controls = native->controls();
        // The appearance changes while the player is open, and the bar follows it.
        Appearance appearance(dark);

        const QImage bar = controls->grab().toImage();
        const qreal ratio = bar.devicePixelRatio();
        const QColor ground = bar.pixelColor(1, 1);
        QCOMPARE(ground, Palette::surface2(dark));
        for (QToolButton *button : controls->symbolButtons()) {
            const QRect area(button->geometry().topLeft() * ratio, button->size() * ratio);
            double strongest = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x)
                    strongest = std::max(strongest, std::abs(luminance(bar.pixelColor(x, y)) - luminance(ground)));
            }
            QVERIFY2(strongest >= 0.5, qPrintable(button->accessibleName() + u' ' + QString::number(strongest)));
        }
        // Hovered and pressed, each symbol still stands out from its own ground.
        for (QToolButton *button : controls->symbolButtons()) {
            for (const char *state : {"hover", "pressed"}) {
                button->setAttribute(Qt::WA_UnderMouse, qstrcmp(state, "hover") == 0);
                button->setDown(qstrcmp(state, "pressed") == 0);
                const QImage look = button->grab().toImage();
                const QColor stateGround = look.pixelColor(look.width() / 2, int(3 * look.devicePixelRatio()));
                QVERIFY2(stateGround != ground, state);
                double strongest = 0;
                for (int y = 0; y < look.height(); ++y) {
                    for (int x = 0; x < look.width(); ++x)
                        strongest = std::max(strongest, std::abs(luminance(look.pixelColor(x, y)) - luminance(stateGround)));
                }
                QVERIFY2(strongest >= 0.4, qPrintable(button->accessibleName() + u' ' + QLatin1String(state) + u' ' + QString::number(strongest)));
            }
            button->setDown(false);
            button->setAttribute(Qt::WA_UnderMouse, false);
        }

        // Tab from the page's start walks every control once.
        QStringList names;
        QVERIFY(waitFor([&] { return controls->seekBar()->isEnabled(); }));
        page.view.qualityMenu()->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 20; ++i) {
            QWidget *focus = QApplication::focusWidget();
            if (focus && names.contains(focus->accessibleName()))
                break;
            if (focus)
                names << focus->accessibleName();
            QTest::keyClick(focus ? focus : &page.view, Qt::Key_Tab);
        }
        for (const QString &name : {u"清晰度"_qs, u"暂停"_qs, u"播放进度"_qs, u"播放时间"_qs, u"静音"_qs, u"音量"_qs,
                                    u"播放速度"_qs, u"画中画"_qs, u"全屏"_qs})
            QVERIFY2(names.contains(name), qPrintable(names.join(u',')));
        QVERIFY(!names.contains(QString()));

        QToolButton *play = controls->playButton();
        play->setFocus(Qt::TabFocusReason);
        const QImage focused = play->grab().toImage();
        const QColor ring = focused.pixelColor(int(focused.width() / 2), 0);
        QVERIFY2(std::abs(luminance(ring) - luminance(Palette::accent(dark))) < 0.05, qPrintable(ring.name()));

        const QString tag = dark ? u"dark"_qs : u"light"_qs;
        const QImage shown = grabShown(&page.view, native->surface());
        QVERIFY(showsPicture(shown));
        QVERIFY(test::shownTexts(&page.view).contains(u"星河"_qs));
        QVERIFY(!saveGrab(shown, u"player-native-"_qs + tag).isEmpty());
        QVERIFY(!saveGrab(bar, u"player-controls-"_qs + tag).isEmpty());
        QMenu *menu = page.view.qualityMenu()->choices();
        QStringList titles;
        for (QAction *a : menu->actions())
            titles << (a->isSeparator() ? u"-"_qs : a->text());
        QCOMPARE(titles, (QStringList{u"自动"_qs, u"-"_qs, u"720p"_qs, u"480p"_qs}));
        menu->ensurePolished();
        menu->adjustSize();
        QVERIFY(!grabToPng(menu, u"player-quality-menu-"_qs + tag).isEmpty());
    }

    // The HTML5 page with the real library in the real web engine.
    void webPagePlays_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<qint64>("et");
        QTest::addColumn<bool>("manifestFails");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("dark");
        QTest::newRow("signed address, light") << u"?sig=a%2Bb%2Fc%3D%3D&n=%23x&e=%26"_qs << qint64(0) << false << QString() << false;
        QTest::newRow("trial under a minute, dark") << QString() << qint64(30) << false
                                                    << u"非会员试看 1 分钟，开通会员可观看完整版"_qs << true;
        QTest::newRow("manifest 404") << QString() << qint64(0) << true << u"加载失败："_qs << false;
    }
    void webPagePlays()
    {
        QFETCH(QString, query);
        QFETCH(qint64, et);
        QFETCH(bool, manifestFails);
        QFETCH(QString, message);
        QFETCH(bool, dark);
        F f;
        Appearance appearance(dark);
        serveShaka(f.site, u"/media/"_qs);
        qputenv("TOVRA_MEDIA_URL", f.site.url(u"media/"_qs).toEncoded());
        if (manifestFails)
            f.site.route(F::kManifest, FakeSite::text("", 404));
        const QString token = u"tok+/=&#é"_qs;
        f.authorise(f.auth(F::kManifest + query, et, token));
        // Opened from a title page, the page itself holds the focus while it loads; Esc leaves at once.
        struct { PlayerView view{kEntry, u"星河"_qs, 0}; } page;
        page.view.setFocus();
        page.view.resize(960, 640);
        page.view.show();
        QVERIFY(waitFor([&] { return !page.view.isLoading(); }));
        qunsetenv("TOVRA_MEDIA_URL");
        QCOMPARE(page.view.shown(), PlayerView::Shown::Web);
        QWebEngineView *web = page.view.webPlayer()->webView();
        QSignalSpy backs(page.view.addAction(u"返回"_qs, QKeySequence(Qt::ALT | Qt::Key_Left)), &QAction::triggered);
        QTest::keyClick(page.view.windowHandle(), Qt::Key_Escape);
        QCOMPARE(backs.size(), 1);
        const QString added = u"t=\\d+&token="_qs + QRegularExpression::escape(tokenInQuery(token)) + u"&ct=\\d+"_qs;

        QVERIFY(waitFor([&] { return !f.site.requestsTo(F::kManifest).isEmpty(); }, kPlayTimeout));
        const QString manifestQuery = QString::fromLatin1(f.site.requestsTo(F::kManifest).first().rawQuery);
        const QString original = query.isEmpty() ? QString() : query.mid(1) + u'&';
        QVERIFY2(QRegularExpression(u'^' + QRegularExpression::escape(original) + added + u'$').match(manifestQuery).hasMatch(),
                 qPrintable(manifestQuery));
        if (!manifestFails) {
            QVERIFY(untilScript(web, u"document.getElementById('video').currentTime"_qs,
                                [](const QVariant &v) { return v.toDouble() > 1.0; }));
            const QStringList segments = f.segmentsSince(0);
            QVERIFY(!segments.isEmpty());
            for (const auto &request : f.site.requests()) {
                if (request.path.endsWith(u".webm"))
                    QVERIFY2(QRegularExpression(u'^' + added + u'$').match(QString::fromLatin1(request.rawQuery)).hasMatch(),
                             request.rawQuery.constData());
            }
        }
        const QString bar = u"document.getElementById('msg').textContent"_qs;
        if (message.isEmpty()) {
            QCOMPARE(evaluate(web, bar).toString(), QString());
        } else {
            QVERIFY2(untilScript(web, bar, [&](const QVariant &v) { return v.toString().startsWith(message); }),
                     qPrintable(evaluate(web, bar).toString()));
            QVERIFY2(withoutLatinWords(evaluate(web, bar).toString()), qPrintable(evaluate(web, bar).toString()));
        }
        // The controls speak the library's Chinese, offer no picture-in-picture the engine cannot
        // give, and a screen reader finds them in a view named after the title.
        const QString labels = evaluate(web, u"[...document.querySelectorAll('#wrap [aria-label]')].map(e => e.ariaLabel).join()"_qs).toString();
        QVERIFY2(!labels.isEmpty() && withoutLatinWords(labels) && !labels.contains(u"画中画"_qs), qPrintable(labels));
        QAccessible::setActive(true);
        const auto document = [&] { QAccessibleInterface *view = QAccessible::queryAccessibleInterface(web)->child(0);
                                    return view ? view->child(0) : nullptr; };
        QVERIFY(waitFor([&] { return document() && document()->childCount() > 0; }));
        QCOMPARE(QAccessible::queryAccessibleInterface(web)->text(QAccessible::Name), page.view.title());
        // Every button a screen reader finds there is named.
        std::function<int(QAccessibleInterface *)> unnamedButtons = [&](QAccessibleInterface *node) {
            int count = node->role() == QAccessible::Button && node->text(QAccessible::Name).isEmpty();
            for (int i = 0; i < node->childCount(); ++i)
                count += node->child(i) ? unnamedButtons(node->child(i)) : 0;
            return count;
        };
        QCOMPARE(unnamedButtons(QAccessible::queryAccessibleInterface(web)), 0);
        QAccessible::setActive(false);
        // Tab and Shift+Tab reach the window's own controls again; Esc and Alt+← go back.
        QPushButton outside(&page.view);
        outside.show();
        const auto inPage = [&] { return web->isAncestorOf(QApplication::focusWidget()); };
        for (const auto &[key, modifier] : {std::pair{Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Backtab, Qt::ShiftModifier}}) {
            web->setFocus();
            for (int i = 0; i < 9 && inPage(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), key, modifier);
                waitFor([&] { return !inPage(); }, 60);
            }
            QVERIFY(!inPage());
        }
        web->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(backs.size(), 3);
        // The library's full-screen control covers the screen with the view; Esc or leaving puts it back.
        for (const auto &[key, modifier] : {std::pair{Qt::Key_Escape, Qt::NoModifier}, {Qt::Key_Left, Qt::AltModifier}}) {
            evaluate(web, u"document.querySelector('.shaka-fullscreen-button').focus()"_qs);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY(waitFor([&] { return web->isWindow() && web->geometry() == page.view.screen()->geometry(); }));
            QTest::keyClick(web->windowHandle(), key, modifier);
            QVERIFY(!web->isWindow() && web->isVisible() && untilScript(web, u"!document.fullscreenElement"_qs, [](const QVariant &v) { return v.toBool(); }));
        }
        QCOMPARE(backs.size(), 4);
        QVERIFY(!grabToPng(&page.view, u"player-web-"_qs + QString::fromLatin1(QTest::currentDataTag()).section(u',', 0, 0).replace(u' ', u'-')
                                           + (dark ? u"-dark"_qs : u"-light"_qs)).isEmpty());
    }
};

TOVRA_TEST(PlaybackTest)
#include "tst_playback.moc"
