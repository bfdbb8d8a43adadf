#include "components/appearance.h"
#include "samplesitefixture.h"
#include "models/usercenterlogic.h"
#include "views/palette.h"
#include "views/usercenter/goldlogview.h"
#include "views/usercenter/groupview.h"
#include "views/usercenter/messageview.h"
#include "views/usercenter/nicknameview.h"
#include "views/usercenter/payview.h"
#include "views/usercenter/photoview.h"
#include "views/usercenter/usercenterview.h"
#include "views/usercenter/vipexchangeview.h"
#include "views/usercenter/watchingview.h"

#include <QBuffer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include "support/screentext.h"
#include "support/testmain.h"

using namespace tovra;
using namespace tovra::test;

namespace {

QByteArray avatarJpeg()
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(0x2E, 0x8B, 0x57));
    QPainter painter(&image);
    painter.setBrush(QColor(0xF4, 0xD0, 0x3F));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRect(48, 48, 160, 160));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

}

// The user centre's tabs filled from the sample site, light and dark, for a reviewer to look at;
// each grab also checks what the user must see on it.
class TestUserCentreGrabs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Palette::installApplicationTheme(); }

    void tabs()
    {
        SampleSiteFixture f;
        QVERIFY(f.start());
        QVERIFY(f.signIn());
        // An avatar of the user's own, kept by the site and served back as the account's photo.
        const auto uploaded = runTask(f.client->uploadPhoto(avatarJpeg(), QStringLiteral("avatar.jpg"), QStringLiteral("image/jpeg")));
        QVERIFY(uploaded);
        runTask(f.auth->refresh());
        QCOMPARE(f.auth->user()->photo, std::optional(*uploaded));
        QNetworkReply *served = f.manager.get(QNetworkRequest(QUrl(*uploaded)));
        QVERIFY(waitFor([&] { return served->isFinished(); }));
        QCOMPARE(QImage::fromData(served->readAll()).size(), QSize(256, 256));
        served->deleteLater();
        const auto unreadBefore = runTask(f.client->unread());
        QVERIFY(unreadBefore && unreadBefore->total > 0);

        QWidget frame;
        frame.setAutoFillBackground(true);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        frame.resize(1000, 680);
        auto *centre = new UserCenterView(UserCenterTab::gold, &frame);
        layout->addWidget(centre);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        const User user = *f.auth->user();
        for (const UserCenterTab tab : usercenter::allTabs()) {
            centre->selectTab(tab);
            QWidget *page = centre->page();
            QVERIFY(page);
            QVERIFY2(errorsOnceSettled(f, page).isEmpty(), qPrintable(usercenter::title(tab)));
            QString name;
            switch (tab) {
            case UserCenterTab::gold: {
                auto *gold = qobject_cast<GoldLogView *>(page);
                QCOMPARE(gold->items().size(), 10);
                QCOMPARE(gold->items().constFirst().balance, user.gold);
                QVERIFY(shownTexts(page).contains(gold->items().constFirst().explain));
                name = QStringLiteral("goldlog");
                break;
            }
            case UserCenterTab::watching: {
                auto *watching = qobject_cast<WatchingView *>(page);
                QVERIFY(!watching->items().isEmpty());
                QCOMPARE(watching->rows().size(), watching->items().size());
                QVERIFY(shownTexts(page).contains(watching->items().constFirst().title));
                name = QStringLiteral("history");
                break;
            }
            case UserCenterTab::pay:
                QVERIFY(waitFor([&] { return qobject_cast<PayView *>(page)->qrState() == PayView::QrState::Shown; }));
                name = QStringLiteral("topup");
                break;
            case UserCenterTab::vip: {
                auto *vip = qobject_cast<VIPExchangeView *>(page);
                QCOMPARE(vip->exchangeButtons().size(), 3);
                QVERIFY(vip->balanceLabel()->text().contains(QString::number(user.gold)));
                QVERIFY(shownTexts(page).contains(QStringLiteral("包年会员")));
                name = QStringLiteral("exchange");
                break;
            }
            case UserCenterTab::message: {
                auto *messages = qobject_cast<MessageView *>(page);
                QVERIFY(messages->data() && messages->data()->notice);
                QVERIFY(!messages->data()->notice->list.isEmpty());
                QVERIFY(shownTexts(page).contains(QStringLiteral("回复了你")));
                QVERIFY(shownTexts(page).contains(QStringLiteral("赞了你")));
                name = QStringLiteral("messages");
                break;
            }
            case UserCenterTab::profile: {
                auto *nickname = qobject_cast<NicknameView *>(page);
                QVERIFY(waitFor([&] { return nickname->hasCaptchaImage(); }));
                QCOMPARE(nickname->nicknameField()->text(), user.nickname.value_or(QString()));
                name = QStringLiteral("nickname");
                break;
            }
            case UserCenterTab::photo:
                QCOMPARE(qobject_cast<PhotoView *>(page)->avatarAddress(), *uploaded);
                name = QStringLiteral("avatar");
                break;
            case UserCenterTab::group:
                QVERIFY(waitFor([&] { return qobject_cast<GroupView *>(page)->shownForm() == 0; }));
                name = QStringLiteral("group");
                break;
            }
            // Pictures (avatars, posters) settle before the grab.
            QVERIFY(f.settled());
            for (const bool dark : {false, true}) {
                forceAppearance(dark);
                QPalette palette = frame.palette();
                palette.setColor(QPalette::Window, Palette::windowBackground(dark));
                frame.setPalette(palette);
                QVERIFY2(clippedTexts(&frame).isEmpty(), qPrintable(clippedTexts(&frame).join(QLatin1Char('|'))));
                const QString file = grabToPng(&frame, QStringLiteral("samplesite-usercenter-%1-%2").arg(name, dark ? "dark" : "light"));
                QVERIFY(!file.isEmpty() && QFileInfo(file).size() > 0);
            }
            forceAppearance(false);
        }

        // What the messages page showed counts as read: the counter fell.
        const auto unreadAfter = runTask(f.client->unread());
        QVERIFY(unreadAfter);
        QVERIFY(unreadAfter->total < unreadBefore->total);
        QCOMPARE(unreadAfter->reply + unreadAfter->like, 0);
    }
};

TOVRA_TEST(TestUserCentreGrabs)
#include "tst_usercentergrabs.moc"
