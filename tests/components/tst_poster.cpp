#include "network/imageloader.h"
#include "posterfixtures.h"
#include "support/fakesite.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "views/components/cardpainter.h"
#include "views/components/poster.h"
#include "views/components/postercard.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace tovra;
using tovra::test::FakeSite;

class PosterTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<tovra::test::PosterSite> m_posters;

    static void move(QWidget *w, QPoint at)
    {
        QMouseEvent event(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    }

private slots:
    void init()
    {
        m_posters = std::make_unique<tovra::test::PosterSite>();
        QVERIFY(m_posters->start());
    }

    void cleanup()
    {
        m_posters.reset();
    }

    void loadsWhenShownAtTheSizeShown()
    {
        Poster poster(m_posters->site.url(QStringLiteral("poster.png?n=1")).toString());
        poster.resize(100, 150);
        QCOMPARE(poster.state(), PosterVisual::State::Idle);
        QVERIFY(m_posters->site.requests().isEmpty());
        poster.show();
        QVERIFY(tovra::test::waitFor([&] { return poster.state() == PosterVisual::State::Ready; }));
        QCOMPARE(m_posters->site.requests().size(), 1);
        // Decoded for the frame, not at the file's 300 × 450.
        const QImage held = m_posters->loader.cached(QUrl(poster.url()), CardPainter::decodeSize({100, 150}, 1.0));
        QVERIFY(!held.isNull());
        QVERIFY(held.width() <= 128);
    }

    void refusedAndMissingPostersShowTheFailure_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("reachesTheSite");
        QTest::newRow("local file") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("404") << QStringLiteral("missing.png") << true;
    }

    void refusedAndMissingPostersShowTheFailure()
    {
        QFETCH(QString, path);
        QFETCH(bool, reachesTheSite);
        const QString url = path.startsWith(QLatin1String("file:")) || path.isEmpty() ? path : m_posters->site.url(path).toString();
        Poster poster(url);
        poster.resize(100, 150);
        poster.show();
        QVERIFY(tovra::test::waitFor([&] { return poster.state() == PosterVisual::State::Failed; }));
        QCOMPARE(!m_posters->site.requests().isEmpty(), reachesTheSite);
        // The frame keeps its 2:3 shape in any widget shape.
        poster.resize(300, 150);
        QCOMPARE(poster.frameRect().size(), QSizeF(100, 150));
    }

    void cardHoverIsThePosterOnly()
    {
        Item item = tovra::test::sampleItem(m_posters->site, 2);
        PosterCard card(item);
        card.resize(160, card.heightForWidth(160));
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        move(&card, QPoint(80, 100));
        QVERIFY(card.isHovering());
        move(&card, QPoint(80, card.height() - 5));
        QVERIFY(!card.isHovering());
        QCOMPARE(card.cursor().shape(), Qt::PointingHandCursor);
    }

    void cardClicksAnywhereReportTheDid()
    {
        PosterCard card(tovra::test::sampleItem(m_posters->site, 3));
        card.resize(160, card.heightForWidth(160));
        card.show();
        QStringList viaCallback;
        card.setOnClick([&](const QString &did) { viaCallback.append(did); });
        QSignalSpy clicked(&card, &PosterCard::clicked);
        QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(80, 60));
        QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(80, card.height() - 4));
        QCOMPARE(viaCallback, (QStringList{"d3", "d3"}));
        QCOMPARE(clicked.size(), 2);
        QCOMPARE(card.heightForWidth(160), qCeil(CardPainter::cardHeight(160)));
    }
};

TOVRA_TEST(PosterTest)
#include "tst_poster.moc"
