#include "models/playerlogic.h"
#include "store/themestore.h"
#include "views/navigationstack.h"
#include "views/palette.h"
#include "views/player/nativeplayer.h"
#include "views/player/pipeline.h"
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
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
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
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using F = PlaybackFixture;

namespace {

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
    // the notices come as the page promises and a broken stream ends in a Chinese sentence; once
    // the site is back, 播放 goes on from where it failed.
    void nativePlays_data()
    {
        QTest::addColumn<int>("startAt");
        QTest::addColumn<qint64>("et");
        // What goes wrong: every segment answers 404; the site goes down (503) or silent after
        // the first segments, and comes back.
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QString>("notice");
        QTest::newRow("first frame") << 0 << qint64(0) << QString() << QString();
        QTest::newRow("resume at 6 s") << 6 << qint64(0) << QString() << u"已从上次看到的 0:06 继续播放"_qs;
        QTest::newRow("trial under a minute") << 0 << qint64(30) << QString() << u"非会员试看 1 分钟，开通会员可观看完整版"_qs;
        QTest::newRow("segments answer 404") << 0 << qint64(0) << u"404"_qs << u"播放失败："_qs;
        QTest::newRow("segments answer 503") << 0 << qint64(0) << u"503"_qs << u"播放失败："_qs;
        QTest::newRow("site down, then back") << 0 << qint64(0) << u"site down"_qs << u"播放失败："_qs;
        QTest::newRow("site silent, then back") << 0 << qint64(0) << u"site silent"_qs << u"播放失败：网络连接失败，请检查网络后重试"_qs;
        QTest::newRow("picture held, every request answered") << 0 << qint64(0) << u"held"_qs << u"播放失败：播放意外停止，请重试"_qs;
    }
    void nativePlays()
    {
        QFETCH(int, startAt);
        QFETCH(qint64, et);
        QFETCH(QString, trouble);
        QFETCH(QString, notice);
        F f;
        const auto failSegments = [&](int from, const auto &reply) {
            for (const QString &path : std::as_const(f.served)) {
                if (path.endsWith(u".ts") && path.section(u"seg"_qs, 1).section(u'.', 0, 0).toInt() >= from)
                    f.site.route(path, reply);
            }
        };
        const bool down = trouble == u"site down" || trouble == u"site silent";
        QElapsedTimer clock;
        clock.start();
        auto asked = std::make_shared<QList<qint64>>();
        if (trouble == u"503")
            failSegments(0, [asked, clock](const FakeSite::Request &) { return *asked << clock.elapsed(), FakeSite::text("", 503); });
        if (trouble == u"404" || down)
            failSegments(trouble == u"404" ? 0 : 2, trouble == u"site silent" ? FakeSite::Reply().stalling() : FakeSite::text("", trouble == u"404" ? 404 : 503));
        // Served in this process, where the picture can be held back at its sink.
        std::optional<InProcessPlayer> inProcess;
        if (trouble == u"held")
            inProcess.emplace();
        PlayerPage page(f, f.auth(F::kMaster, et), startAt);
        QCOMPARE(page.view.shown(), PlayerView::Shown::Native);
        page.model()->setStallLimit(down || inProcess ? std::chrono::milliseconds(2000) : trouble == u"503" ? std::chrono::milliseconds(4000) : PlayerModel::kStallLimit);
        VideoSurface *surface = page.native()->surface();
        FrameWatch watch(surface);
        if (!notice.isEmpty() && !down && !inProcess) {
            QVERIFY(waitFor([&] { return page.model()->message().value_or(QString()).startsWith(notice); }, kPlayTimeout));
            const QString shown = page.native()->notice()->text();
            QCOMPARE(shown, *page.model()->message());
            QVERIFY2(withoutLatinWords(shown), qPrintable(shown));
        }
        if (trouble == u"503") {
            // Asked a few times a second at first, then less and less often, until the failure.
            QVERIFY(waitFor([&] { return page.model()->hasFailed(); }, kPlayTimeout));
            QList<qint64> tries; // the first request of each try: the demuxer may ask twice in a row
            for (qsizetype i = 0; i < asked->size(); ++i) {
                if (i == 0 || asked->at(i) - asked->at(i - 1) > 150)
                    tries << asked->at(i);
            }
            QString log = u"%1 requests, tries at"_qs.arg(asked->size());
            for (qint64 t : tries)
                log += u' ' + QString::number(t);
            QVERIFY2(tries.size() >= 3 && asked->size() <= 3 * tries.size(), qPrintable(log));
            QVERIFY2(std::ranges::count_if(*asked, [&](qint64 t) { return t < tries.first() + 1000; }) <= 6, qPrintable(log));
            QVERIFY2(tries.last() - tries.at(tries.size() - 2) >= 2 * (tries.at(1) - tries.first()), qPrintable(log));
        }
        if (trouble == u"404" || trouble == u"503") {
            QVERIFY(page.native()->notice()->isVisible());
            QCOMPARE(watch.frames, 0);
            QCOMPARE(page.native()->controls()->playButton()->accessibleName(), u"播放"_qs);
            return;
        }
        QVERIFY(waitFor([&] { return watch.frames > 0; }, kPlayTimeout));
        if (inProcess) {
            // The picture stands with the site owing nothing: the play's own stall, not the network's.
            g_autoptr(GstElement) sink = gst_bin_get_by_name(GST_BIN(inProcess->element()), "video");
            g_autoptr(GstPad) pad = gst_element_get_static_pad(sink, "sink");
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, [](GstPad *, GstPadProbeInfo *, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
            QVERIFY(waitFor([&] { return page.model()->hasFailed(); }, kPlayTimeout));
            QCOMPARE(*page.model()->message(), notice);
            return;
        }
        if (startAt > 0) {
            // The first picture shown is already the resume point's: nothing before it shows.
            QVERIFY2(qAbs(watch.first / 1000 - startAt * 1000) <= 100, qPrintable(QString::number(watch.first)));
            QVERIFY(page.model()->didSeek());
        }
        if (down) {
            QVERIFY2(waitFor([&] { return page.model()->message().value_or(QString()).startsWith(notice); }, kPlayTimeout),
                     qPrintable(QString::number(page.model()->position())));
            QCOMPARE(page.native()->controls()->playButton()->accessibleName(), u"播放"_qs);
            const int stopped = watch.frames;
            const qint64 failedAt = page.model()->position();
            QVERIFY2(failedAt >= 2000, qPrintable(QString::number(failedAt)));
            // 播放 while the site is still down fails again, with the notice and 播放 back, once
            // what it fetched before the failing segment has played.
            if (trouble == u"site down") {
                QTest::keyClick(page.native(), Qt::Key_Space);
                QVERIFY(waitFor([&] { return page.model()->hasFailed(); }, kPlayTimeout));
                QVERIFY2(page.model()->position() >= failedAt && page.model()->position() - failedAt <= 2000,
                         qPrintable(u"%1 -> %2"_qs.arg(failedAt).arg(page.model()->position())));
                QCOMPARE(page.native()->controls()->playButton()->accessibleName(), u"播放"_qs);
            }
            // Back up, 播放 goes on from there: the label never reads 0:00 on the way, and the
            // notice goes with the first picture.
            f.served = serveFolder(f.site, u"/clip/"_qs, mediaDir());
            qint64 lowest = failedAt;
            const auto bar = QObject::connect(page.model(), &PlayerModel::positionChanged, page.model(),
                                              [&] { lowest = std::min(lowest, page.model()->position()); });
            QTest::keyClick(page.native(), Qt::Key_Space);
            QVERIFY(waitFor([&] { return watch.frames > stopped + 5 && !page.model()->message(); }, kPlayTimeout));
            QObject::disconnect(bar);
            QVERIFY2(qAbs(lowest - failedAt) <= 1000, qPrintable(u"%1 -> %2"_qs.arg(failedAt).arg(lowest)));
            QVERIFY2(qAbs(watch.last / 1000 - failedAt) <= 2000, qPrintable(u"%1 -> %2"_qs.arg(failedAt).arg(watch.last)));
        }
        // The bar names the picture on screen.
        QList<qint64> offsets;
        const auto painted = QObject::connect(surface, &VideoSurface::framePainted, surface,
                                              [&] { offsets << page.model()->position() - surface->paintedStartTime() / 1000; });
        QVERIFY(waitFor([&] { return offsets.size() >= 9; }, kPlayTimeout));
        QObject::disconnect(painted);
        std::sort(offsets.begin(), offsets.end());
        QVERIFY2(qAbs(offsets[offsets.size() / 2]) <= 100, qPrintable(QString::number(offsets[offsets.size() / 2])));
        QVERIFY(page.native()->notice()->isVisible() == (!notice.isEmpty() && trouble.isEmpty()));
    }

    // Reports go out every 15 s of playback and once at the end, with the form the site reads.
    void progressWhilePlayingAndAtStop()
    {
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        QVERIFY(waitFor([&] { return page.model()->duration() > 0; }, kPlayTimeout));
        // Close to the first report without playing up to it: a seek forward reports nothing
        // before the position passes 15 s.
        page.model()->seek(13000);
        page.model()->setRate(2.0);
        QVERIFY(waitFor([&] { return !f.progressForms().isEmpty(); }, kPlayTimeout));
        QCOMPARE(f.progressForms().size(), 1);
        const QUrlQuery first = f.progressForms().first();
        QCOMPARE(first.queryItemValue(u"did"_qs), kPlayerEntry.did);
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
        PlayerModel model(f.auth(F::kMaster), kPlayerEntry, 0);
        model.play();
        QVERIFY(waitFor([&] { return model.position() > 0; }, kPlayTimeout));
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

    // The player's keys act on the playback the user sees; so does a click at the seek bar's end.
    void keys_data()
    {
        QTest::addColumn<int>("key"); // 0: the click
        QTest::addColumn<QString>("effect");
        // The control the mouse left the focus on, by name; empty for the player itself.
        QTest::addColumn<QString>("focused");
        // Typed into the picture-in-picture window, where `focused` names one of its buttons.
        QTest::addColumn<bool>("inPip");
        QTest::newRow("Space pauses") << int(Qt::Key_Space) << u"paused"_qs << QString() << false;
        QTest::newRow("M mutes") << int(Qt::Key_M) << u"muted"_qs << QString() << false;
        QTest::newRow("Right seeks 10 s on") << int(Qt::Key_Right) << u"+10"_qs << QString() << false;
        QTest::newRow("Left seeks 10 s back") << int(Qt::Key_Left) << u"-10"_qs << QString() << false;
        QTest::newRow("Right past the end ends the play") << int(Qt::Key_Right) << u"end"_qs << QString() << false;
        QTest::newRow("Right past the end while paused ends the play") << int(Qt::Key_Right) << u"paused end"_qs << QString() << false;
        QTest::newRow("a click at the seek bar's end ends the play") << 0 << u"end"_qs << QString() << false;
        QTest::newRow("F full screen, Esc back") << int(Qt::Key_F) << u"full"_qs << QString() << false;
        QTest::newRow("Space pauses after a click on 静音") << int(Qt::Key_Space) << u"paused"_qs << u"静音"_qs << false;
        QTest::newRow("Right seeks after a click on 画中画") << int(Qt::Key_Right) << u"+10"_qs << u"画中画"_qs << false;
        QTest::newRow("Left seeks back from 清晰度") << int(Qt::Key_Left) << u"-10"_qs << u"清晰度"_qs << false;
        QTest::newRow("Space pauses in 画中画") << int(Qt::Key_Space) << u"paused"_qs << QString() << true;
        QTest::newRow("Space pauses in 画中画 from 返回播放页") << int(Qt::Key_Space) << u"paused"_qs << u"返回播放页"_qs << true;
        QTest::newRow("M mutes in 画中画") << int(Qt::Key_M) << u"muted"_qs << QString() << true;
        QTest::newRow("Right seeks in 画中画") << int(Qt::Key_Right) << u"+10"_qs << QString() << true;
        QTest::newRow("Left seeks back in 画中画 from 暂停") << int(Qt::Key_Left) << u"-10"_qs << u"暂停"_qs << true;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(QString, effect);
        QFETCH(QString, focused);
        QFETCH(bool, inPip);
        F f;
        // The volume is read off the pipeline's own element.
        std::optional<InProcessPlayer> inProcess;
        if (effect == u"muted")
            inProcess.emplace();
        PlayerPage page(f, f.auth(F::kMaster));
        NativePlayer *native = page.native();
        PlayerModel *model = page.model();
        QVERIFY(waitFor([&] { return native->surface()->paintedCount() > 0 && model->duration() > 0 && model->variants().size() == 2; }, kPlayTimeout));
        if (effect == u"-10" || effect.endsWith(u"end")) {
            model->seek(14000);
            QVERIFY(waitFor([&] { return model->position() >= 14500; }, kPlayTimeout));
        }
        if (effect == u"paused end")
            model->togglePlay();
        QWidget *target = native;
        QPointer<PipWindow> pip;
        if (inPip) {
            native->togglePictureInPicture();
            pip = native->pipWindow();
            QVERIFY(QTest::qWaitForWindowActive(pip));
            QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), pip->mapToGlobal(QPointF(20, 20)));
            QApplication::sendEvent(pip, &enter);
            target = pip;
        }
        for (QWidget *control : (pip ? static_cast<QWidget *>(pip) : &page.view)->findChildren<QWidget *>())
            target = !focused.isEmpty() && control->isVisible() && control->accessibleName() == focused ? control : target;
        // The quality button's click opens its menu, and a click on the small window's buttons
        // acts: what matters is the focus they leave behind.
        if (target == page.view.qualityMenu() || (pip && target != pip))
            target->setFocus(Qt::MouseFocusReason);
        else if (target != native && target != pip)
            QTest::mouseClick(target, Qt::LeftButton);
        QVERIFY(focused.isEmpty() ? !pip || !QApplication::focusWidget() : QApplication::focusWidget() == target);
        const qint64 before = model->position();
        const QList<qint64> starts = segmentStarts(mediaDir() + u"/hls/v0/index.m3u8"_qs);
        QSlider *bar = native->controls()->seekBar();
        key ? QTest::keyClick(target, Qt::Key(key)) : QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 1, bar->height() / 2));
        QVERIFY2(!inPip || native->pipWindow(), "the key closed the small window");
        if (effect == u"paused") {
            QVERIFY(!model->isShownPlaying());
            QCOMPARE((pip ? pip->playButton() : native->controls()->playButton())->accessibleName(), u"播放"_qs);
            // The picture really stops.
            VideoSurface *shown = pip ? pip->surface() : native->surface();
            waitFor([] { return false; }, 300);
            const qint64 stoppedAt = model->position();
            const int painted = shown->paintedCount();
            waitFor([] { return false; }, 500);
            QVERIFY2(model->position() == stoppedAt, qPrintable(u"%1 -> %2"_qs.arg(stoppedAt).arg(model->position())));
            QCOMPARE(shown->paintedCount(), painted);
            QTest::keyClick(native, Qt::Key_Space);
            QVERIFY(model->isShownPlaying());
            QVERIFY(waitFor([&] { return model->position() > stoppedAt + 300; }, kPlayTimeout));
        } else if (effect == u"muted") {
            QVERIFY(model->isMuted());
            QCOMPARE(native->controls()->muteButton()->accessibleName(), u"取消静音"_qs);
            native->controls()->volumeBar()->setValue(40);
            QCOMPARE(qRound(model->volume() * 100), 40);
            QTest::keyClick(native, Qt::Key_M);
            QVERIFY(!model->isMuted());
            double volume = 0;
            QVERIFY(waitFor([&] { g_object_get(inProcess->element(), "volume", &volume, nullptr); return qAbs(volume - 0.4) < 0.01; }));
        } else if (effect == u"full") {
            QVERIFY(native->surface()->isFullScreen());
            // Over the full-screen picture: the controls come with the mouse and go with the
            // pointer a while after it stops; a double-click leaves full screen.
            PlayerControls *controls = native->controls();
            QVERIFY(controls->isOverlay() && controls->isVisible() && controls->parentWidget() == native->surface());
            QCOMPARE(controls->fullScreenButton()->accessibleName(), u"退出全屏"_qs);
            QVERIFY(controls->qualityMenu()->isVisible());
            QCOMPARE(controls->geometry().bottom(), native->surface()->height() - 1);
            const QImage shown = native->surface()->grab().toImage();
            QVERIFY(showsPicture(shown) && !saveGrab(shown, u"player-fullscreen-controls"_qs).isEmpty());
            QVERIFY(test::shownTexts(native->surface()).contains(controls->timeLabel()->text()));
            QVERIFY(waitFor([&] { return !controls->isVisible(); }, int(NativePlayer::kControlsLinger.count()) + 2000));
            QCOMPARE(native->surface()->cursor().shape(), Qt::BlankCursor);
            QMouseEvent move(QEvent::MouseMove, QPointF(200, 200), native->surface()->mapToGlobal(QPointF(200, 200)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(native->surface(), &move);
            QVERIFY(controls->isVisible());
            QTest::mouseDClick(native->surface(), Qt::LeftButton, {}, QPoint(200, 200));
            QVERIFY(!native->surface()->isFullScreen());
            QVERIFY(!controls->isOverlay() && controls->parentWidget() == native);
            native->toggleFullScreen();
            QCOMPARE(QAccessible::queryAccessibleInterface(native->surface())->role(), QAccessible::Window);
            QCOMPARE(QAccessible::queryAccessibleInterface(native->surface())->text(QAccessible::Name), u"星河 - 全屏播放"_qs);
            QTest::keyClick(native->surface(), Qt::Key_Escape);
            QVERIFY(!native->surface()->isFullScreen());
        } else if (effect.endsWith(u"end")) {
            // Ended as at its own end, nothing played again from the start until Space.
            QVERIFY(waitFor([&] { return model->hasEnded() && native->surface()->paintedStartTime() / 1000 >= before; }, 3000));
            QVERIFY(!waitFor([&] { return !model->hasEnded() || native->surface()->paintedStartTime() / 1000 < before; }, 1000));
            QTest::keyClick(native, Qt::Key_Space);
            QVERIFY(waitFor([&] { return model->isShownPlaying() && model->position() < 3000; }, kPlayTimeout));
        } else {
            model->setStallLimit(std::chrono::milliseconds(1000));
            const qint64 target = before + (effect == u"+10" ? 10000 : -10000);
            QVERIFY2(waitFor([&] { return qAbs(model->position() - target) <= 1500; }, 5000),
                     qPrintable(u"%1 -> %2"_qs.arg(before).arg(model->position())));
            QVERIFY(effect != u"-10" || !waitFor([&] { return model->hasFailed(); }, 1500));
        }
        // Esc still closes the small window, from its buttons too.
        if (pip) {
            QTest::keyClick(target, Qt::Key_Escape);
            QVERIFY(!native->pipWindow());
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
        auto *view = new PlayerView(kPlayerEntry, u"星河"_qs, 0);
        window.push(Route::play(kPlayerEntry, view->title(), 0), view);
        QVERIFY(waitFor([&] { return view->shown() == PlayerView::Shown::Native; }));
        NativePlayer *native = view->nativePlayer();
        PlayerModel *player = native->model();
        FrameWatch inline_(native->surface());
        QVERIFY(waitFor([&] { return inline_.frames > 0 && player->position() > 0; }, kPlayTimeout));
        native->controls()->pipButton()->click();
        QPointer<PipWindow> pip = native->pipWindow();
        QVERIFY(pip && pip->isVisible());
        QVERIFY(pip->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        // The picture comes along at once rather than after a black wait for the next frame.
        QVERIFY(pip->surface()->scaler()->lastFrame().isValid());
        // The picture fills the small window, and its controls come over it with the pointer.
        QCOMPARE(pip->surface()->geometry(), pip->rect());
        QVERIFY(!pip->controls()->isVisible());
        QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), pip->mapToGlobal(QPointF(20, 20)));
        QApplication::sendEvent(pip, &enter);
        QVERIFY(pip->controls()->isVisible() && pip->controls()->geometry().bottom() == pip->height() - 1);
        // It leaves the page's control bar in sight.
        const QRect bar(native->controls()->mapToGlobal(QPoint(0, 0)), native->controls()->size());
        QVERIFY(!pip->frameGeometry().intersects(bar));
        QAccessibleInterface *named = QAccessible::queryAccessibleInterface(pip);
        QCOMPARE(named->role(), QAccessible::Window);
        QCOMPARE(named->text(QAccessible::Name), u"星河 - 画中画"_qs);
        FrameWatch watch(pip->surface());
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
        QVERIFY(!player->isShownPlaying());
        pip->playButton()->click();
        QVERIFY(player->isShownPlaying());
        pip->backButton()->click();
        QVERIFY(!native->pipWindow());
        QVERIFY(native->surface()->notice().isEmpty());
        QVERIFY(native->surface()->scaler()->lastFrame().streamTime() >= watch.last);
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
        auto *web = new PlayerView(kPlayerEntry, u"北方"_qs, 0);
        window.push(Route::play(kPlayerEntry, web->title(), 0), web);
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
        FrameWatch watch(native->surface());
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
        struct { PlayerView view{kPlayerEntry, u"星河"_qs, 0}; } page;
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

    // A click at 80 % of the seek bar, a second into the play, lands at 80 % of the duration.
    void seekBarGoesWhereClicked()
    {
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        QSlider *bar = page.native()->controls()->seekBar();
        QVERIFY(waitFor([&] { return bar->isEnabled() && page.model()->position() > 0; }, kPlayTimeout));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 8 / 10, bar->height() / 2));
        FrameWatch watch(page.native()->surface());
        QVERIFY(waitFor([&] { return watch.frames > 3; }, kPlayTimeout));
        QVERIFY2(qAbs(watch.last / 1000 - page.model()->duration() * 8 / 10) <= 3000, qPrintable(QString::number(watch.last)));
    }

    // Held, the knob carries the time with it while the stream plays on; let go near the end,
    // the stream plays out and the knob and the time stand at the end, not a frame short of it.
    void knobCarriesTheTimeToTheEnd()
    {
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        QSlider *bar = page.native()->controls()->seekBar();
        QLabel *time = page.native()->controls()->timeLabel();
        QVERIFY(waitFor([&] { return bar->isEnabled() && page.model()->position() > 0; }, kPlayTimeout));
        const QString total = time->text().section(u" / "_qs, 1);
        const auto knobTime = [&] { return u"0:%1 / "_qs.arg(bar->sliderPosition(), 2, 10, QChar(u'0')) + total; };
        const QPoint late(bar->width() * 19 / 20, bar->height() / 2);
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, late.y()));
        QCOMPARE(time->text(), knobTime());
        QTest::mouseMove(bar, late);
        QVERIFY(bar->sliderPosition() * 1000 > page.model()->position() + 8000);
        QCOMPARE(time->text(), knobTime());
        QTest::mouseRelease(bar, Qt::LeftButton, {}, late);
        QVERIFY(waitFor([&] { return page.model()->hasEnded(); }, kPlayTimeout));
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(time->text(), total + u" / "_qs + total);
    }

    // A seek asked for while a retry is opening (its segments are served only once this returns
    // to the event loop) completes the opening too: its resume step comes, in place of the failure.
    void seekWhileOpening()
    {
        F f;
        for (const QString &path : f.served.filter(u".ts"_qs))
            f.site.route(path, FakeSite::text("", 404));
        PlayerPage page(f, f.auth(F::kMaster), 6);
        QVERIFY(waitFor([&] { return page.model()->hasFailed(); }, kPlayTimeout));
        serveFolder(f.site, u"/clip/"_qs, mediaDir());
        page.model()->togglePlay();
        page.model()->seek(3000);
        FrameWatch watch(page.native()->surface());
        QVERIFY(waitFor([&] { return watch.frames > 5; }, kPlayTimeout));
        QCOMPARE(page.model()->message(), std::optional(player::resumeNotice(6)));
        QCOMPARE(page.model()->lastReported(), 6);
    }
};

TOVRA_TEST(PlaybackTest)
#include "tst_playback.moc"
