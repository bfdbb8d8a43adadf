#include "network/apiclient.h"
#include "network/apierror.h"
#include "network/diskcache.h"
#include "pipeline/framewriter.h"
#include "store/authstore.h"
#include "support/clientfixture.h"
#include "support/screentext.h"
#include "views/components/stateoverlay.h"
#include "views/player/framescaler.h"
#include "views/player/nativeplayer.h"
#include "views/player/pipeline.h"
#include "views/player/playercontrols.h"
#include "views/player/playermodel.h"
#include "views/player/playerview.h"
#include "views/player/qualitymenu.h"
#include "views/player/shakawebview.h"

#include <QAccessible>
#include <QJsonDocument>
#include <QLabel>
#include <QJsonObject>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gst/gst.h>
#include <gst/video/video.h>
extern "C" {
#include <libavutil/pixfmt.h>
}
#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kAuthPath = u"/user/requestmpd"_qs;
const QString kProgress = u"/api/progress"_qs;
const QString kMaster = u"/hls/master.m3u8"_qs;

struct PlayerFixture : SharedClientFixture
{
    PlayerFixture() : SharedClientFixture(u"user-tok"_qs)
    {
        site.route(kProgress, FakeSite::ok("{}"));
        // Decoding cannot run here: the stream never answers, so nothing fails under a test.
        site.route(kMaster, FakeSite::Reply().stalling());
    }
    QByteArray authJson(const QString &url, qint64 et) const
    {
        return QJsonDocument(QJsonObject{{"url", url}, {"token", "play-tok"}, {"et", et}, {"l", 3}}).toJson(QJsonDocument::Compact);
    }
    PlayAuth hlsAuth(qint64 et = 0) const { return {site.url(kMaster).toString(), u"play-tok"_qs, et, 0}; }

    QList<QUrlQuery> progressForms() const
    {
        QList<QUrlQuery> out;
        for (const auto &r : site.requestsTo(kProgress))
            out << r.form();
        return out;
    }
};

const PlayEntry kEntry{2, u"did/7&x"_qs, u"ep tok+/="_qs, 1900000000};

void show(QWidget &w)
{
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

// A 64x36 picture of Y 180, Cb 100 and Cr 160 (in planes of their own or interleaved), written
// through a frame ring as pictures cross from the player process.
std::optional<FrameWriter::Written> writtenFrame(GstVideoFormat format, GstVideoColorMatrix space, bool full)
{
    gst_init(nullptr, nullptr);
    GstVideoInfo info;
    gst_video_info_set_format(&info, format, 64, 36);
    info.colorimetry.matrix = space;
    info.colorimetry.range = full ? GST_VIDEO_COLOR_RANGE_0_255 : GST_VIDEO_COLOR_RANGE_16_235;
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_WRITE))
        return std::nullopt;
    const guint planes = GST_VIDEO_FRAME_N_PLANES(&mapped);
    for (guint plane = 0; plane < planes; ++plane) {
        auto *bytes = static_cast<guint8 *>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, plane));
        const gsize size = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, plane) * GST_VIDEO_FRAME_COMP_HEIGHT(&mapped, plane);
        for (gsize i = 0; i < size; ++i)
            bytes[i] = plane == 0 ? 180 : (planes == 2 ? i % 2 : plane - 1) ? 160 : 100;
    }
    gst_video_frame_unmap(&mapped);
    GstCaps *caps = gst_video_info_to_caps(&info);
    GstSample *sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    FrameWriter writer;
    auto written = writer.write(sample);
    gst_sample_unref(sample);
    gst_caps_unref(caps);
    gst_buffer_unref(buffer);
    return written;
}

}

class PlayerViewTest : public QObject
{
    Q_OBJECT
private slots:
    // A frame comes out in the colours its format names, at every size it is drawn at: a scaler
    // made anew for another size must not fall back to its default colours.
    void framesKeepTheirColours_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("space");
        QTest::addColumn<bool>("full");
        QTest::addColumn<QColor>("expected");
        // Y 180, Cb 100, Cr 160 by the standard equations.
        QTest::newRow("I420, BT.601, video range") << int(GST_VIDEO_FORMAT_I420) << int(GST_VIDEO_COLOR_MATRIX_BT601)
                                                   << false << QColor(242, 176, 134);
        QTest::newRow("I420, BT.709, video range") << int(GST_VIDEO_FORMAT_I420) << int(GST_VIDEO_COLOR_MATRIX_BT709)
                                                   << false << QColor(248, 180, 132);
        QTest::newRow("NV12, BT.709, full range") << int(GST_VIDEO_FORMAT_NV12) << int(GST_VIDEO_COLOR_MATRIX_BT709)
                                                  << true << QColor(230, 170, 128);
    }
    void framesKeepTheirColours()
    {
        QFETCH(int, format);
        QFETCH(int, space);
        QFETCH(bool, full);
        QFETCH(QColor, expected);
        const auto written = writtenFrame(GstVideoFormat(format), GstVideoColorMatrix(space), full);
        QVERIFY(written);
        const VideoFrame frame = VideoFrame::take(written->ring, written->slot, written->serial, written->shape, 0);
        QVERIFY(frame.isValid());
        FrameScaler::Converter converter;
        for (const QSize size : {QSize(32, 18), QSize(128, 72)}) {
            const QImage picture = converter.convert(frame, size);
            QCOMPARE(picture.size(), size);
            const QColor shown = picture.pixelColor(size.width() / 2, size.height() / 2);
            const int off = std::max({qAbs(shown.red() - expected.red()), qAbs(shown.green() - expected.green()), qAbs(shown.blue() - expected.blue())});
            QVERIFY2(off <= 3, qPrintable(shown.name() + u" at "_qs + QString::number(size.width())));
        }
    }

    // A picture's shape comes from the player process: one whose planes would be read past its
    // slot is refused before the scaler touches a byte.
    void hostileFrameShapesAreRefused_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("as written") << 0 << true;
        QTest::newRow("last plane past the slot") << 1 << false;
        QTest::newRow("stride shorter than a row") << 2 << false;
        QTest::newRow("planes the format has not") << 3 << false;
        QTest::newRow("no such format") << 4 << false;
        QTest::newRow("offset before the slot") << 5 << false;
        // libswscale reads PAL8's palette through a second plane no shape names: a null pointer.
        QTest::newRow("PAL8") << 6 << false;
        QTest::newRow("a format the player never writes") << 7 << false;
    }
    void hostileFrameShapesAreRefused()
    {
        QFETCH(int, change);
        QFETCH(bool, drawn);
        const auto written = writtenFrame(GST_VIDEO_FORMAT_I420, GST_VIDEO_COLOR_MATRIX_BT601, false);
        QVERIFY(written);
        FrameShape shape = written->shape;
        switch (change) {
        case 1: shape.offsets[2] = qint32(written->ring->slotBytes()) - shape.strides[2]; break;
        case 2: shape.strides[0] = 16; break;
        case 3: shape.planes = 4; break;
        case 4: shape.pixelFormat = 100000; break;
        case 5: shape.offsets[1] = -64; break;
        case 6: shape.pixelFormat = AV_PIX_FMT_PAL8, shape.planes = 1; break;
        case 7: shape.pixelFormat = AV_PIX_FMT_YUV410P; break;
        }
        const VideoFrame frame = VideoFrame::take(written->ring, written->slot, written->serial, shape, 0);
        QCOMPARE(!FrameScaler::Converter().convert(frame, QSize(32, 18)).isNull(), drawn);
    }

    void authorisesWithTheEntryAsGiven()
    {
        PlayerFixture f;
        f.site.route(kAuthPath, FakeSite::ok(f.authJson(u"https://m.example/v.mp4"_qs, 0)).withDelay(300));
        PlayerView view(kEntry, u"星河 </b>"_qs, 0);
        QCOMPARE(view.shown(), PlayerView::Shown::Loading);
        show(view);
        QVERIFY(f.site.waitForRequests(1));
        QCOMPARE(view.shown(), PlayerView::Shown::Loading);
        const auto request = f.site.requestsTo(kAuthPath).value(0);
        QCOMPARE(request.method, QByteArray("GET"));
        const QUrlQuery q = request.query();
        QCOMPARE(q.queryItemValue(u"did"_qs, QUrl::FullyDecoded), kEntry.did);
        QCOMPARE(q.queryItemValue(u"token"_qs, QUrl::FullyDecoded), kEntry.token);
        QCOMPARE(q.queryItemValue(u"expired"_qs), u"1900000000"_qs);
        QCOMPARE(q.queryItemValue(u"format"_qs), u"json"_qs);
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer user-tok"));
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QCOMPARE(view.shown(), PlayerView::Shown::Web);
        QVERIFY(!view.trialBadge());
    }

    void failureShowsTheClientTextAndRetries_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("server code") << FakeSite::json(FakeSite::envelope(403, u"无权播放"_qs))
                                     << APIError::server(403, u"无权播放"_qs).description();
        QTest::newRow("missing field") << FakeSite::ok("{\"url\":\"https://m.example/a.m3u8\",\"token\":\"t\",\"et\":0}")
                                       << QString();
        QTest::newRow("no data") << FakeSite::json(FakeSite::envelope(200, u"ok"_qs)) << APIError::emptyData().description();
    }
    void failureShowsTheClientTextAndRetries()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(QString, text);
        PlayerFixture f;
        f.site.enqueue(kAuthPath, reply);
        f.site.route(kAuthPath, FakeSite::ok(f.authJson(u"https://m.example/v.mp4"_qs, 150)));
        PlayerView view(kEntry, u"片名"_qs, 0);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == PlayerView::Shown::Error; }));
        if (!text.isEmpty())
            QCOMPARE(view.error(), text);
        QCOMPARE(view.overlay()->messageText(), *view.error());
        grabToPng(&view, u"player-error-"_qs + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        QVERIFY(!view.trialBadge());

        view.overlay()->retryButton()->click();
        QCOMPARE(view.shown(), PlayerView::Shown::Loading);
        QVERIFY(waitFor([&] { return !view.isLoading(); }));
        QCOMPARE(view.shown(), PlayerView::Shown::Web);
        QCOMPARE(view.trialBadgeText(), u"试看 2 分钟"_qs);
        QCOMPARE(f.site.requestsTo(kAuthPath).size(), 2);
        QVERIFY(view.webPlayer()->html().contains(u"\"token\":\"play-tok\""_qs));
    }

    void hlsPlaysNativelyWithQualityMenu()
    {
        PlayerFixture f;
        f.site.route(kMaster, FakeSite::text("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=2800000,RESOLUTION=1280x720\n720.m3u8\n"
                                             "#EXT-X-STREAM-INF:BANDWIDTH=5000000,RESOLUTION=1920x1080\n1080.m3u8\n", 404));
        f.site.route(kAuthPath, FakeSite::ok(f.authJson(f.site.url(kMaster).toString() + u"?a=1"_qs, 30)));
        PlayerView view(kEntry, u"片名"_qs, 0);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == PlayerView::Shown::Native; }));
        QCOMPARE(view.trialBadgeText(), u"试看 1 分钟"_qs);
        PlayerModel *model = view.nativePlayer()->model();
        QVERIFY(model);
        QCOMPARE(model->streamUrl().query().section(u'&', 0, 0), u"a=1"_qs);
        // Read even from a 404: the status is not what decides.
        QVERIFY(waitFor([&] { return model->variants().size() == 2; }));
        QualityMenu *menu = view.qualityMenu();
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->text(), u"自动"_qs);
        QStringList titles;
        for (QAction *a : menu->choices()->actions())
            titles << (a->isSeparator() ? u"-"_qs : a->text());
        QCOMPARE(titles, (QStringList{u"自动"_qs, u"-"_qs, u"1080p"_qs, u"720p"_qs}));
        menu->choices()->actions().at(3)->trigger();
        QCOMPARE(model->selected()->label, u"720p"_qs);
        QCOMPARE(menu->text(), u"720p"_qs);
        grabToPng(&view, u"player-native"_qs);
        // Open, the menu hangs under the button in the accessibility tree: items named, the
        // chosen one checked.
        menu->choices()->popup(menu->mapToGlobal(QPoint(0, menu->height())));
        QAccessibleInterface *button = QAccessible::queryAccessibleInterface(menu);
        QCOMPARE(button->childCount(), 1);
        QStringList items;
        for (int i = 0; i < button->child(0)->childCount(); ++i) {
            QAccessibleInterface *item = button->child(0)->child(i);
            items << item->text(QAccessible::Name) + (item->state().checked ? u" ✓"_qs : QString());
        }
        QCOMPARE(items, (QStringList{u"自动"_qs, QString(), u"1080p"_qs, u"720p ✓"_qs}));
        menu->choices()->close();

        // The playlist fetch carries the playback query but none of the client's headers.
        bool sawOurs = false;
        for (const auto &r : f.site.requestsTo(kMaster)) {
            QVERIFY(!r.hasHeader("Authorization"));
            if (r.query().queryItemValue(u"token"_qs) == u"play-tok"_qs && r.query().queryItemValue(u"ct"_qs) == u"0"_qs)
                sawOurs = true;
        }
        QVERIFY(sawOurs);

        // Leaving the page stops the player with one last report.
        model->samplePosition(12);
        view.hide();
        QVERIFY(!view.nativePlayer()->model());
        QVERIFY(!menu->isVisible());
        QVERIFY(waitFor([&] { return f.progressForms().size() == 1; }));
        QCOMPARE(f.progressForms().first().queryItemValue(u"pos"_qs), u"12"_qs);
    }

    // Nothing on the page moves once it shows: not when the player or the quality button comes,
    // not when a quality or a speed is chosen. The speed menu marks the speed in use.
    void pageKeepsItsPlace()
    {
        PlayerFixture f;
        // Qt's fetch of the master (the model's) is answered late; the pipeline's waits, so nothing
        // plays and nothing else changes the page.
        f.site.route(kMaster, [](const FakeSite::Request &r) {
            const QByteArray master = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000\nlow.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=5000000,RESOLUTION=1920x1080\nhd.m3u8\n";
            return r.header("User-Agent").startsWith("Mozilla") ? FakeSite::text(master).withDelay(500) : FakeSite::Reply().stalling();
        });
        f.site.route(kAuthPath, FakeSite::ok(f.authJson(f.site.url(kMaster).toString(), 30)));
        PlayerView view(kEntry, u"片名"_qs, 0);
        show(view);
        // Measured after what a show or a layout posted for itself (the controls come with a queued show).
        const auto places = [&](const QList<QWidget *> &widgets) {
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents();
            QList<QRect> out;
            for (QWidget *w : widgets)
                out << QRect(w->mapTo(&view, QPoint()), w->size());
            return out;
        };
        const QList<QRect> body = places({view.overlay()});
        QVERIFY(waitFor([&] { return view.shown() == PlayerView::Shown::Native; }));
        NativePlayer *player = view.nativePlayer();
        QCOMPARE(places({player}), body);
        // The speed button stands where the seek bar ends. The quality button's own size is its
        // largest choice's, known with the variants.
        const QList<QWidget *> watched{player->surface(), player->controls()->speedButton(), view.qualityMenu()};
        const QList<QRect> before = places(watched).mid(0, 2);
        QVERIFY(!view.qualityMenu()->isVisible());
        QVERIFY(waitFor([&] { return view.qualityMenu()->isVisible(); }));
        const QList<QRect> shown = places(watched);
        QCOMPARE(shown.mid(0, 2), before);
        QMenu *speeds = player->controls()->speedButton()->menu();
        const auto checked = [&] {
            QString marked; // checked for a screen reader, the check mark on screen
            for (QAction *a : speeds->actions())
                marked += (a->isChecked() ? a->text() : QString()) + (a->icon().isNull() ? QString() : u"✓"_qs);
            return marked;
        };
        QCOMPARE(checked(), u"1x✓"_qs);
        view.qualityMenu()->choices()->actions().at(3)->trigger();
        QCOMPARE(places(watched), shown);
        speeds->actions().at(2)->trigger();
        QCOMPARE(places(watched), shown);
        QCOMPARE(checked(), u"1.25x✓"_qs);
        grabToPng(&view, u"player-native-steady"_qs);
        // What the user reads there: the title, the quality chosen and the speed, none cut short.
        const QStringList texts = shownTexts(&view);
        for (const QString &text : {u"片名"_qs, view.qualityMenu()->text(), u"1.25x"_qs})
            QVERIFY2(texts.contains(text), qPrintable(text + u" not in "_qs + texts.join(u'|')));
        QVERIFY2(clippedTexts(&view).isEmpty(), qPrintable(clippedTexts(&view).join(u'|')));
        // The trial notice going (as its time runs out) leaves its room.
        QVERIFY(player->notice()->isVisible());
        player->notice()->hide();
        QCOMPARE(places(watched), shown);
    }

    // The page's notice strip is out of sight in full screen and behind the small window: a
    // player that ends there says so over the picture the user is looking at.
    void failureShowsOverThePicture_data()
    {
        QTest::addColumn<bool>("pip");
        QTest::newRow("full screen") << false;
        QTest::newRow("picture-in-picture") << true;
    }
    void failureShowsOverThePicture()
    {
        QFETCH(bool, pip);
        PlayerFixture f;
        f.site.route(kAuthPath, FakeSite::ok(f.authJson(f.site.url(kMaster).toString(), 0)));
        PlayerView view(kEntry, u"片名"_qs, 0);
        show(view);
        QVERIFY(waitFor([&] { return view.shown() == PlayerView::Shown::Native; }));
        NativePlayer *player = view.nativePlayer();
        QVERIFY(waitFor([&] { return player->model()->pipeline()->processId() > 0; }));
        const qint64 process = player->model()->pipeline()->processId();
        pip ? player->togglePictureInPicture() : player->toggleFullScreen();
        QWidget *window = pip ? static_cast<QWidget *>(player->pipWindow()) : player->surface();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(kill(pid_t(process), SIGKILL), 0);
        const QString text = u"播放失败：播放组件意外退出，请重试"_qs;
        QVERIFY2(waitFor([&] { return shownTexts(window).contains(text); }), qPrintable(shownTexts(window).join(u'|')));
        grabToPng(window, u"player-failed-"_qs + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        // Whole, over the picture.
        const VideoSurface *surface = pip ? player->pipWindow()->surface() : player->surface();
        QVERIFY(surface->rect().contains(surface->caption()->geometry()));
    }

    void progressReports()
    {
        PlayerFixture f;
        {
            PlayerModel model(f.hlsAuth(), kEntry, 0);
            model.play();
            for (qint64 s : {0, 1, 14})
                model.samplePosition(s);
            model.samplePosition(15);
            QVERIFY(f.site.waitForRequests(1));
            QVERIFY(waitFor([&] { return f.progressForms().size() == 1; }));
            model.samplePosition(29);
            model.samplePosition(31);
            model.samplePosition(33);
            model.stop();
            model.stop();
        }
        QVERIFY(waitFor([&] { return f.progressForms().size() == 3; }));
        QTest::qWait(100);
        const auto forms = f.progressForms();
        QCOMPARE(forms.size(), 3);
        QStringList positions;
        for (const QUrlQuery &form : forms) {
            QCOMPARE(form.queryItemValue(u"did"_qs, QUrl::FullyDecoded), kEntry.did);
            QCOMPARE(form.queryItemValue(u"ep"_qs), u"2"_qs);
            QCOMPARE(form.queryItems().size(), 4);
            bool ok = false;
            form.queryItemValue(u"duration"_qs).toLongLong(&ok);
            QVERIFY(ok);
            positions << form.queryItemValue(u"pos"_qs);
        }
        // Reports run side by side; the order they land in is not promised.
        positions.sort();
        QCOMPARE(positions, (QStringList{u"15"_qs, u"31"_qs, u"33"_qs}));
        QCOMPARE(f.site.requestsTo(kProgress).first().method, QByteArray("POST"));
    }

    void leavingReportsOnceAndOnlyAfterASecond()
    {
        PlayerFixture f;
        {
            PlayerModel early(f.hlsAuth(), kEntry, 0);
            early.play();
            early.samplePosition(0);
        }
        {
            PlayerModel model(f.hlsAuth(), kEntry, 0);
            model.play();
            model.samplePosition(10);
        } // dropped while playing: the destructor stops it
        QVERIFY(waitFor([&] { return f.progressForms().size() == 1; }));
        QTest::qWait(100);
        QCOMPARE(f.progressForms().size(), 1);
        QCOMPARE(f.progressForms().first().queryItemValue(u"pos"_qs), u"10"_qs);
    }

    void resumeAndNotices()
    {
        PlayerFixture f;
        PlayerModel model(f.hlsAuth(30), kEntry, 600);
        model.setNoticeTimes(std::chrono::milliseconds(150), std::chrono::milliseconds(1500));
        model.play();
        QCOMPARE(model.message(), u"非会员试看 1 分钟，开通会员可观看完整版"_qs);
        model.resume();
        model.resume();
        QVERIFY(model.didSeek());
        QCOMPARE(model.lastReported(), qint64(600));
        QCOMPARE(model.message(), u"已从上次看到的 10:00 继续播放"_qs);
        QTest::qWait(400); // the trial clearing leaves the resume notice alone
        QCOMPARE(model.message(), u"已从上次看到的 10:00 继续播放"_qs);
        QVERIFY(waitFor([&] { return !model.message(); }));
        model.samplePosition(614);
        model.samplePosition(615);
        QVERIFY(waitFor([&] { return f.progressForms().size() == 1; }));
        QCOMPARE(f.progressForms().first().queryItemValue(u"pos"_qs), u"615"_qs);

        PlayerModel shortResume(f.hlsAuth(), kEntry, 3);
        shortResume.play();
        shortResume.resume();
        QVERIFY(!shortResume.didSeek());
        QVERIFY(!shortResume.message());
    }

    void badAddressPlaysNothing()
    {
        PlayerFixture f;
        PlayerModel model(PlayAuth{u"ftp://127.0.0.1/a.m3u8"_qs, u"t"_qs, 0, 0}, kEntry, 0);
        model.play();
        QCOMPARE(model.message(), u"播放地址不合法"_qs);
        QVERIFY(model.streamUrl().isEmpty());
        model.samplePosition(20);
        model.stop();
        QTest::qWait(100);
        QVERIFY(f.site.requests().isEmpty());
    }

    // Signed out from the menu while playing, then B signed in while away: the player goes at
    // once, the authorisation is asked again for the new state (the site's trial tells them
    // apart) before anything plays, and reports go under the playback's own account or not at all.
    void accountChangeAuthorisesAgain()
    {
        PlayerFixture f;
        AuthStore auth(f.api.get(), std::nullopt);
        AuthStore::setShared(&auth);
        f.api->setTokenProvider([a = QPointer(&auth)] { return a ? a->tokenValue() : std::nullopt; });
        auth.save(u"tok-A"_qs);
        f.site.route(kAuthPath, [&](const FakeSite::Request &r) {
            const QByteArray bearer = r.header("Authorization");
            return FakeSite::ok(f.authJson(f.hlsAuth().url, bearer.isEmpty() ? 300 : bearer.endsWith("B") ? 60 : 0));
        });
        PlayerView view(kEntry, u"片名"_qs, 0);
        show(view);
        QPointer<PlayerModel> played;
        for (const QString &badge : {u""_qs, u"试看 5 分钟"_qs, u"试看 1 分钟"_qs}) {
            QVERIFY(waitFor([&] { return view.nativePlayer() && view.nativePlayer()->model() && view.nativePlayer()->model() != played; }));
            QCOMPARE(view.trialBadgeText(), badge);
            (played = view.nativePlayer()->model())->samplePosition(20 + badge.size());
            if (badge.isEmpty()) {
                auth.logout();
                QVERIFY(!played || !played->isPlaying());
            } else if (badge.contains(u'5')) {
                view.hide();
                auth.save(u"tok-B"_qs);
                view.show();
            }
        }
        QVERIFY(waitFor([&] { return f.site.requestsTo(kProgress).size() == 4; }));
        QStringList log;
        for (const auto &r : f.site.requests())
            log << (r.path == kMaster ? QString() : r.path.section(u'/', -1) + u' ' + r.form().queryItemValue(u"pos"_qs) + u' ' + QString::fromLatin1(r.header("Authorization")));
        log.removeAll(QString());
        log.sort();
        QCOMPARE(log, (QStringList{u"progress 20 Bearer tok-A"_qs, u"progress 27 "_qs, u"progress 27 "_qs, u"progress 27 Bearer tok-B"_qs,
                                   u"requestmpd  "_qs, u"requestmpd  Bearer tok-A"_qs, u"requestmpd  Bearer tok-B"_qs}));
    }

    // A window smaller than the screen, with room around it where Qt alone would let the menu hang.
    void qualityMenuOpensInsideTheWindow_data()
    {
        QTest::addColumn<Qt::Corner>("corner");
        QTest::newRow("top left") << Qt::TopLeftCorner;
        QTest::newRow("top right: flips left") << Qt::TopRightCorner;
        QTest::newRow("bottom left: flips up") << Qt::BottomLeftCorner;
        QTest::newRow("bottom right: both") << Qt::BottomRightCorner;
    }

    void qualityMenuOpensInsideTheWindow()
    {
        QFETCH(Qt::Corner, corner);
        QWidget window;
        window.setGeometry(60, 60, 480, 320);
        auto *button = new QualityMenu(&window);
        for (const char *name : {"自动", "1080p 超清", "720p 高清", "480p", "360p"})
            button->choices()->addAction(QString::fromUtf8(name));
        button->setGeometry(corner & 1 ? 480 - 90 : 0, corner & 2 ? 320 - 30 : 0, 90, 30);
        button->show();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QMenu *menu = button->choices();
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
        QVERIFY(window.geometry().contains(menu->geometry()));
        QVERIFY(!menu->geometry().intersects(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
        menu->close();
    }
};

TOVRA_TEST(PlayerViewTest)
#include "tst_playerview.moc"
