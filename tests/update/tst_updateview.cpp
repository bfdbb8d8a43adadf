#include "store/themestore.h"
#include "store/updateservice.h"
#include "views/palette.h"
#include "views/updateview.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include "support/testmain.h"
#include "updatefixture.h"

using namespace tovra;
using namespace tovra::test;
using Kind = UpdateService::Phase::Kind;

namespace {
QStringList labelTexts(const QWidget *view)
{
    QStringList texts;
    for (const auto *label : view->findChildren<QLabel *>())
        if (label->isVisibleTo(const_cast<QWidget *>(view)) && !label->text().isEmpty())
            texts.append(label->text());
    return texts;
}

QStringList buttonTexts(const QWidget *view)
{
    QStringList texts;
    for (const auto *button : view->findChildren<QPushButton *>())
        texts.append(button->text());
    return texts;
}

void forceAppearance(bool dark)
{
    ThemeStore *store = ThemeStore::shared();
    const auto wanted = dark ? ThemeStore::Mode::Dark : ThemeStore::Mode::Light;
    for (int i = 0; i < 3 && store->mode() != wanted; ++i)
        store->toggle();
}

QPushButton *phaseButton(const QWidget *view)
{
    return view->findChild<QPushButton *>(QStringLiteral("phaseButton"));
}
}

class TestUpdateView : public QObject
{
    Q_OBJECT
private slots:
    void percent_data()
    {
        QTest::addColumn<double>("progress");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.005") << 0.005 << "0%";
        QTest::newRow("0.5") << 0.5 << "50%";
        QTest::newRow("0.999") << 0.999 << "99%";
        QTest::newRow("1") << 1.0 << "100%";
    }
    void percent()
    {
        QFETCH(double, progress);
        QFETCH(QString, text);
        QCOMPARE(UpdateView::percentText(progress), text);
    }

    // Each phase as the service really reaches it, with what the sheet then says and offers.
    void phases_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("checking") << "checking" << false << QStringList{"正在检查更新…"} << QStringList{"以后再说"};
        QTest::newRow("offer") << "offer" << false
                               << QStringList{"发现新版本 2.4.0", "2026-12-01", "1.5 MB", "修复播放卡顿\n<b>不是粗体</b>"}
                               << QStringList{"以后再说", "立即更新"};
        QTest::newRow("forced offer") << "offer" << true << QStringList{"发现新版本 2.4.0", "必须升级"}
                                      << QStringList{"立即更新"};
        QTest::newRow("up to date") << "none" << false << QStringList{"已经是最新版本"} << QStringList{"以后再说", "完成"};
        QTest::newRow("failed") << "error" << false << QStringList{"出错了"} << QStringList{"以后再说", "完成"};
        QTest::newRow("downloading") << "downloading" << false << QStringList{"正在下载…", "50%"}
                                     << QStringList{"以后再说", "取消下载"};
        QTest::newRow("forced downloading") << "downloading" << true << QStringList{"正在下载…"}
                                            << QStringList{"取消下载"};
        QTest::newRow("downloaded") << "downloaded" << false << QStringList{"下载完成"}
                                    << QStringList{"以后再说", "打开所在文件夹"};
    }
    void phases()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, forced);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, buttons);
        UpdateFixture f;
        QVERIFY(f.start());
        const QByteArray bytes(4000, 'z');
        f.site.route(QStringLiteral("/pkg"), FakeSite::text(bytes).stallingMidBody());
        f.site.route(QStringLiteral("/done"), FakeSite::text(bytes));
        UpdateView view(f.service.get());
        auto offer = UpdateFixture::offer(12, f.site.url(scenario == "downloaded" ? QStringLiteral("done") : QStringLiteral("pkg")).toString(),
                                          {}, forced);
        if (scenario == "none")
            f.serveCheck(QJsonObject{{"has_update", false}, {"force", false}, {"version", ""}, {"build", 0},
                                     {"url", ""}, {"sha256", ""}, {"size", 0}, {"notes", ""}});
        else if (scenario == "error")
            f.site.route(QStringLiteral("/api/update"), FakeSite::text("no", 500));
        else if (scenario == "checking")
            f.site.route(QStringLiteral("/api/update"), FakeSite::text("").stalling());
        else
            f.serveCheck(offer);
        auto task = f.service->check(false);
        QVERIFY(waitFor([&] { return f.service->phase().kind != Kind::Checking || scenario == "checking"; }));
        if (scenario == "downloading" || scenario == "downloaded") {
            phaseButton(&view)->click();
            QVERIFY(waitFor([&] {
                return scenario == "downloading" ? f.service->phase().progress == 0.5
                                                 : f.service->phase().kind == Kind::ManualInstall;
            }));
        }
        const QStringList shown = labelTexts(&view);
        for (const QString &text : texts)
            QVERIFY2(shown.contains(text), qPrintable(text + QStringLiteral(" not in ") + shown.join(u'|')));
        QCOMPARE(buttonTexts(&view), buttons);
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("forcedBadge")) != nullptr, forced && scenario == "offer");
        // Server text is never read as markup.
        for (const auto *label : view.findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        if (scenario == "error")
            QCOMPARE(view.findChild<QLabel *>(QStringLiteral("failure"))->text(), f.service->phase().message);
    }

    void laterAndDoneCloseTheSheet_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("later") << "laterButton";
        QTest::newRow("done") << "phaseButton";
    }
    void laterAndDoneCloseTheSheet()
    {
        QFETCH(QString, button);
        UpdateFixture f;
        QVERIFY(f.start());
        f.site.route(QStringLiteral("/api/update"), FakeSite::text("no", 500));
        UpdateView view(f.service.get());
        QVERIFY(runTask(f.service->check(false)));
        QVERIFY(f.service->showsPanel());
        bool dismissed = false;
        connect(&view, &UpdateView::dismissRequested, this, [&] { dismissed = true; });
        view.findChild<QPushButton *>(button)->click();
        QVERIFY(dismissed);
        QVERIFY(!f.service->showsPanel());
        QCOMPARE(f.service->phase().kind, Kind::Idle);
    }

    void grab_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("update-offer-light") << false;
        QTest::newRow("update-offer-dark") << true;
    }
    void grab()
    {
        QFETCH(bool, dark);
        forceAppearance(dark);
        UpdateFixture f;
        QVERIFY(f.start());
        f.serveCheck(UpdateFixture::offer(12, QStringLiteral("https://example.org/a"), {}, dark));
        QVERIFY(runTask(f.service->check(false)));
        QWidget frame;
        frame.setAutoFillBackground(true);
        QPalette p = Palette::applicationPalette(dark);
        p.setColor(QPalette::Window, Palette::surface(dark));
        frame.setPalette(p);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new UpdateView(f.service.get(), &frame));
        frame.show();
        frame.adjustSize();
        QTest::qWait(50);
        QVERIFY(QFileInfo::exists(grabToPng(&frame, QString::fromLatin1(QTest::currentDataTag()))));
        forceAppearance(false);
    }
};

TOVRA_TEST(TestUpdateView)
#include "tst_updateview.moc"
