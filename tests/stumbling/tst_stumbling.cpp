#include "views/player/nativeplayer.h"
#include "views/player/pipwindow.h"
#include "views/player/playermodel.h"

#include "playback/playbackfixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;
using F = PlaybackFixture;

// A site that fails for a few seconds and answers again: the play starts or goes on by itself.
// An area of its own, as each row really plays past its outages.
class StumblingTest : public QObject
{
    Q_OBJECT
private slots:
    // A site that stumbles for 4 s (503s on segments or playlists, or the connection dropped) is
    // played through: the picture never skips or goes back and stands at most a second after the
    // site answered again, each stumble is asked again after 0.3 s and then less often, and
    // nothing fails.
    void stumblingSitePlaysThrough_data()
    {
        QTest::addColumn<QList<int>>("outages"); // the segment whose first request starts each
        QTest::addColumn<FakeSite::Reply>("trouble");
        QTest::addColumn<QString>("failing"); // segments, or the playlists at this path
        QTest::newRow("503 at the start") << QList<int>{0} << FakeSite::text("", 503) << QString();
        QTest::newRow("503 mid-play") << QList<int>{3} << FakeSite::text("", 503) << QString();
        QTest::newRow("503 twice in one play") << QList<int>{3, 7} << FakeSite::text("", 503) << QString();
        QTest::newRow("connection dropped mid-play") << QList<int>{3} << FakeSite::Reply().withRaw("").closingAfter() << QString();
        QTest::newRow("master playlist 503 at the start") << QList<int>{0} << FakeSite::text("", 503) << u"/master.m3u8"_qs;
        QTest::newRow("variant playlists 503 at the start") << QList<int>{0} << FakeSite::text("", 503) << u"/index.m3u8"_qs;
    }
    void stumblingSitePlaysThrough()
    {
        QFETCH(QList<int>, outages);
        QFETCH(FakeSite::Reply, trouble);
        QFETCH(QString, failing);
        F f;
        QElapsedTimer clock;
        clock.start();
        struct Site { qint64 until = -1; QList<QList<qint64>> failed; QList<qint64> answered{0}; };
        auto site = std::make_shared<Site>();
        // Failing playlists come from the main site, which can be told to fail; their segments
        // are the fixture's.
        const QStringList files = failing.isEmpty() ? f.served.filter(QRegularExpression(u"\\.ts$"_qs)) : f.served.filter(u".m3u8"_qs);
        for (const QString &path : files) {
            QFile file(mediaDir() + path.mid(5));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QByteArrayList lines = bytes.split('\n');
            for (QByteArray &line : lines)
                line = line.endsWith(".ts") ? f.site.url(path.section(u'/', 0, -2) + u'/' + QString::fromUtf8(line)).toEncoded() : line;
            const QByteArray playlist = lines.join('\n');
            if (!failing.isEmpty() && !path.endsWith(failing)) {
                f.site.route(path, FakeSite::text(playlist));
                continue;
            }
            f.site.route(path, [=, body = failing.isEmpty() ? bytes : playlist, segment = path.section(u"seg"_qs, 1).section(u'.', 0, 0).toInt()](const FakeSite::Request &) {
                if (site->failed.size() < outages.size() && segment >= outages.at(site->failed.size()) && clock.elapsed() >= site->until)
                    site->until = clock.elapsed() + 4000, site->failed.append(QList<qint64>());
                if (clock.elapsed() < site->until)
                    return site->failed.last() << clock.elapsed(), trouble;
                return site->answered << clock.elapsed(), FakeSite::text(body);
            });
        }
        PlayerPage page(f, failing.isEmpty() ? f.auth(F::kMaster) : PlayAuth{f.site.url(F::kMaster).toString(), u"play-tok"_qs, 0, 1});
        QList<std::pair<qint64, qint64>> painted{{0, 0}}; // wall time, stream time (ms)
        QObject::connect(page.native()->surface(), &VideoSurface::framePainted, page.model(),
                         [&] { painted.append({clock.elapsed(), page.native()->surface()->paintedStartTime() / 1000}); });
        QVERIFY2(waitFor([&] { return painted.last().second > (outages.last() + 2) * 2000; }, 40000), qPrintable(QString::number(painted.last().second)));
        QVERIFY(!page.model()->hasFailed() && site->failed.size() == outages.size());
        for (const QList<qint64> &asked : std::as_const(site->failed))
            QVERIFY2(asked.size() >= 3 && asked.size() <= 8 && asked.at(1) - asked.first() <= 700, qPrintable(QString::number(asked.size())));
        for (qsizetype i = 1; i < painted.size(); ++i) {
            const auto [at, time] = painted.at(i);
            const auto [before, last] = painted.at(i - 1);
            const qint64 answer = *std::prev(std::ranges::upper_bound(site->answered, at));
            QVERIFY2(time >= last && time - last <= 300 && (at - before <= 300 || at - answer <= 1000),
                     qPrintable(u"%1 ms at %2, %3 ms at %4, answered at %5"_qs.arg(last).arg(before).arg(time).arg(at).arg(answer)));
        }
    }
};

TOVRA_TEST(StumblingTest)

#include "tst_stumbling.moc"
