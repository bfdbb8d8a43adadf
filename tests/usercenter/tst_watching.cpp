#include "usercenterfixture.h"
#include "models/usercenterlogic.h"
#include "views/components/stateoverlay.h"
#include "views/usercenter/watchingview.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {
const QString kPath = QStringLiteral("/api/watching");

QJsonObject entry(const UserCenterFixture &f, const QString &did, qint64 episode, qint64 pos, qint64 duration)
{
    return {{"did", did}, {"title", "雾都 <i>谜案</i>"}, {"image", f.poster(3)}, {"episode", episode}, {"pos", pos},
            {"duration", duration}, {"token", "tk-" + did}, {"expired", 1900000000}};
}
}

class TestWatching : public QObject
{
    Q_OBJECT
private slots:
    void rowsShowProgress()
    {
        UserCenterFixture f;
        const QJsonArray list{entry(f, "a", 1, 59, 0), entry(f, "b", 2, 605, 1210), entry(f, "c", 12, 3725, 600)};
        f.site.route(kPath, FakeSite::ok(UserCenterFixture::compact(list)).withDelay(80));
        auto *v = f.show(new WatchingView);
        QCOMPARE(v->overlay()->kind().kase, StateOverlay::Kind::Case::Loading);
        QVERIFY(waitFor([&] { return !v->isLoading(); }));
        QCOMPARE(f.requests(kPath).size(), 1);
        QCOMPARE(f.requests(kPath)[0].rawQuery, QByteArray());

        const auto rows = v->rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(UserCenterFixture::textOf(rows[0], "title"), QStringLiteral("雾都 <i>谜案</i>"));
        QCOMPARE(rows[0]->findChild<QLabel *>("title")->textFormat(), Qt::PlainText);
        QCOMPARE(UserCenterFixture::textOf(rows[0], "progressLine"), QStringLiteral("第 1 集 · 看到 0:59"));
        QCOMPARE(UserCenterFixture::textOf(rows[1], "progressLine"), QStringLiteral("第 2 集 · 看到 10:05"));
        QCOMPARE(UserCenterFixture::textOf(rows[2], "progressLine"), QStringLiteral("第 12 集 · 看到 62:05"));
        // No length, no bar; half way is half; past the end is full.
        QVERIFY(!rows[0]->findChild<QProgressBar *>());
        const auto fill = [&](int i) {
            auto *bar = rows[i]->findChild<QProgressBar *>();
            return double(bar->value() - bar->minimum()) / double(bar->maximum() - bar->minimum());
        };
        QCOMPARE(fill(1), 0.5);
        QCOMPARE(fill(2), 1.0);
    }

    void buttonsReportTheChoice_data()
    {
        QTest::addColumn<qint64>("episode");
        QTest::addColumn<qint64>("pos");
        QTest::addColumn<QString>("title");
        QTest::newRow("first episode") << qint64(1) << qint64(0) << "雾都 <i>谜案</i>";
        QTest::newRow("later episode") << qint64(3) << qint64(900) << "雾都 <i>谜案</i> 第3集";
    }
    void buttonsReportTheChoice()
    {
        QFETCH(qint64, episode);
        QFETCH(qint64, pos);
        QFETCH(QString, title);
        UserCenterFixture f;
        f.site.route(kPath, FakeSite::ok(UserCenterFixture::compact(QJsonArray{entry(f, "d7", episode, pos, 1200)})));
        auto *v = f.show(new WatchingView);
        QVERIFY(waitFor([&] { return v->rows().size() == 1; }));
        QSignalSpy played(v, &WatchingView::playRequested);
        QSignalSpy selected(v, &WatchingView::selected);
        // On a wide page the buttons keep their own size at the row's end.
        v->resize(1200, v->height());
        for (const char *name : {"resumeButton", "detailButton"}) {
            const auto *button = v->rows()[0]->findChild<QPushButton *>(name);
            QVERIFY(waitFor([&] { return button->width() == button->sizeHint().width(); }));
        }
        QTest::mouseClick(v->rows()[0]->findChild<QPushButton *>("resumeButton"), Qt::LeftButton);
        QTest::mouseClick(v->rows()[0]->findChild<QPushButton *>("detailButton"), Qt::LeftButton);
        QCOMPARE(played.size(), 1);
        QCOMPARE(played[0][0].value<PlayEntry>(), (PlayEntry{episode, "d7", "tk-d7", 1900000000}));
        QCOMPARE(played[0][1].toString(), title);
        QCOMPARE(played[0][2].toInt(), int(pos));
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected[0][0].toString(), QStringLiteral("d7"));
    }

    void emptyAndFailureStates_data()
    {
        QTest::addColumn<FakeSite::Reply>("reply");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << FakeSite::ok("[]") << int(StateOverlay::Kind::Case::Empty) << "还没有观看记录";
        QTest::newRow("server") << FakeSite::json(FakeSite::envelope(401, "请登录")) << int(StateOverlay::Kind::Case::Error)
                                << "请登录（401）";
        // Every field is required: one entry without a poster fails the whole reply.
        QTest::newRow("missing field") << FakeSite::ok(R"([{"did":"a","title":"t","episode":1,"pos":1,"duration":2,"token":"k","expired":1}])")
                                       << int(StateOverlay::Kind::Case::Error) << "";
    }
    void emptyAndFailureStates()
    {
        QFETCH(FakeSite::Reply, reply);
        QFETCH(int, kind);
        QFETCH(QString, message);
        UserCenterFixture f;
        f.site.route(kPath, reply);
        auto *v = f.show(new WatchingView);
        QVERIFY(waitFor([&] { return !v->isLoading(); }));
        QVERIFY(v->overlay()->isVisible());
        QCOMPARE(int(v->overlay()->kind().kase), kind);
        if (!message.isEmpty())
            QCOMPARE(v->overlay()->messageText(), message);
        else
            QVERIFY(v->overlay()->messageText().startsWith(QStringLiteral("数据解析失败：")));
    }

    void retryLoadsAgain()
    {
        UserCenterFixture f;
        f.site.route(kPath, FakeSite::text("", 502).closingAfter());
        auto *v = f.show(new WatchingView);
        QVERIFY(waitFor([&] { return v->error().has_value(); }));
        f.site.route(kPath, FakeSite::ok(UserCenterFixture::compact(QJsonArray{entry(f, "r", 1, 10, 20)})).withDelay(80));
        QTest::mouseClick(v->overlay()->retryButton(), Qt::LeftButton);
        QCOMPARE(v->overlay()->kind().kase, StateOverlay::Kind::Case::Loading);
        QVERIFY(waitFor([&] { return v->rows().size() == 1 && !v->isLoading(); }));
        QVERIFY(!v->overlay()->isVisible());
    }
};

TOVRA_TEST(TestWatching)
#include "tst_watching.moc"
