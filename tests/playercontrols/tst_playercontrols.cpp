#include "views/player/nativeplayer.h"
#include "views/player/playercontrols.h"
#include "views/player/qualitymenu.h"

#include "playback/playbackfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QAudioOutput>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using F = PlaybackFixture;

// What the user does to a playing video: keys and the quality menu.
class PlayerControlsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(mediaDir() + u"/hls/master.m3u8"_qs), "no test clip: build the tovra_media target");
    }

    // A chosen quality plays from where the picture was, fetching no segment before it again;
    // "自动" stays on the master playlist.
    void qualitySwitchKeepsPosition_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("folder");
        QTest::newRow("720p") << u"720p"_qs << u"/clip/hls/v1/"_qs;
        QTest::newRow("480p") << u"480p"_qs << u"/clip/hls/v0/"_qs;
    }
    void qualitySwitchKeepsPosition()
    {
        QFETCH(QString, label);
        QFETCH(QString, folder);
        F f;
        PlayerPage page(f, f.auth(F::kMaster));
        FrameWatch watch(page.native()->surface()->videoSink());
        QVERIFY(waitFor([&] { return page.model()->variants().size() == 2 && page.player()->isSeekable(); }, kPlayTimeout));
        page.player()->setPosition(9000);
        QVERIFY(waitFor([&] { return page.player()->position() >= 9000; }, kPlayTimeout));
        QMenu *menu = page.view.qualityMenu()->choices();
        QAction *choice = nullptr;
        for (QAction *a : menu->actions())
            choice = a->text() == label ? a : choice;
        QVERIFY(choice);
        const qint64 before = page.player()->position();
        const qsizetype mark = f.site.requests().size();
        choice->trigger();
        QCOMPARE(page.view.qualityMenu()->text(), label);
        const int seen = watch.frames;
        QVERIFY2(waitFor([&] {
                     return watch.frames > seen + 3 && page.player()->playbackState() == QMediaPlayer::PlayingState
                            && qAbs(page.player()->position() - before) <= 1000 && !f.segmentsSince(mark).filter(folder).isEmpty();
                 }, kPlayTimeout),
                 qPrintable(u"%1 -> %2"_qs.arg(before).arg(page.player()->position())));
        // 2-second segments: the one playing is the first that may be fetched; once the chosen
        // variant's segments come, no other's follow.
        const QStringList segments = f.segmentsSince(mark);
        const qsizetype first = segments.indexOf(segments.filter(folder).constFirst());
        for (qsizetype i = 0; i < segments.size(); ++i) {
            QVERIFY2(segments[i].section(u"seg"_qs, 1).section(u'.', 0, 0).toLongLong() >= before / 2000, qPrintable(segments.join(u' ')));
            QVERIFY2(i < first || segments[i].startsWith(folder), qPrintable(segments.join(u' ')));
        }

        menu->actions().constFirst()->trigger();
        QCOMPARE(page.view.qualityMenu()->text(), u"自动"_qs);
        QCOMPARE(page.player()->source(), page.model()->streamUrl());
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
};

TOVRA_TEST(PlayerControlsTest)
#include "tst_playercontrols.moc"
