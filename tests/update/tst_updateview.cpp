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
#include "ziparchive.h"

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

// Brings the service to the phase a scenario names the way a user gets there: a real check, a
// real press on "立即更新", a real download from the loopback site.
bool reach(UpdateFixture &f, UpdateView &view, const QString &scenario, bool forced)
{
    const QByteArray zip = makeZip(clientEntries());
    f.site.route(QStringLiteral("/pkg"), FakeSite::text(QByteArray(4000, 'z')).stallingMidBody());
    f.site.route(QStringLiteral("/done"), FakeSite::text(zip));
    const bool downloads = scenario == "downloading" || scenario == "verifying" || scenario == "ready"
        || scenario == "manual" || scenario == "failed";
    const QString sha = scenario == "failed" ? UpdateFixture::sha256("other") : UpdateFixture::sha256(zip);
    const auto offer = UpdateFixture::offer(12, f.site.url(scenario == "downloading" ? QStringLiteral("pkg") : QStringLiteral("done")).toString(),
                                            sha, forced);
    if (scenario == "none")
        f.serveCheck(QJsonObject{{"has_update", false}, {"force", false}, {"version", ""}, {"build", 0},
                                 {"url", ""}, {"sha256", ""}, {"size", 0}, {"notes", ""}});
    else if (scenario == "error")
        f.site.route(QStringLiteral("/api/update"), FakeSite::text("no", 500));
    else if (scenario == "checking")
        f.site.route(QStringLiteral("/api/update"), FakeSite::text("").stalling());
    else
        f.serveCheck(offer);
    if (scenario == "verifying")
        f.site.route(QStringLiteral("/api/client_report"), FakeSite::text("null").stalling());
    if (scenario == "ready") {
        const QString unit = QDir(f.home.path()).filePath(QStringLiteral(".local/opt/TovraClient"));
        QDir().mkpath(unit);
        for (const char *name : {".tovra-app", "tovra-client"}) {
            QFile file(QDir(unit).filePath(QString::fromLatin1(name)));
            if (!file.open(QIODevice::WriteOnly) || file.write("tovra-client\n") < 0)
                return false;
        }
        f.service->setUnit(unit);
    }
    QCoro::connect(f.service->check(false), &view, [] {});
    if (!waitFor([&] { return f.service->phase().kind != Kind::Checking || scenario == "checking"; }))
        return false;
    if (!downloads)
        return true;
    phaseButton(&view)->click();
    return waitFor([&] {
        const Kind kind = f.service->phase().kind;
        if (scenario == "downloading")
            return f.service->phase().progress == 0.5;
        if (scenario == "verifying")
            return kind == Kind::Verifying && f.site.requestsTo(QStringLiteral("/api/client_report")).size() >= 2;
        return kind == Kind::ReadyToInstall || kind == Kind::ManualInstall || kind == Kind::Failed;
    });
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
        QTest::newRow("verifying") << "verifying" << false << QStringList{"正在校验安装包…"} << QStringList{"以后再说"};
        QTest::newRow("forced verifying") << "verifying" << true << QStringList{"正在校验安装包…"} << QStringList{};
        QTest::newRow("ready") << "ready" << false
                               << QStringList{"下载完成", "点击「安装并重启」后，应用会自动替换为新版本并重新打开。"}
                               << QStringList{"以后再说", "安装并重启"};
        QTest::newRow("manual") << "manual" << false << QStringList{"需要手动安装"}
                                << QStringList{"以后再说", "在文件管理器中显示"};
        QTest::newRow("bad package") << "failed" << true << QStringList{"出错了", "安装包校验失败，请稍后重试"}
                                     << QStringList{"完成"};
    }
    void phases()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, forced);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, buttons);
        UpdateFixture f;
        QVERIFY(f.start());
        UpdateView view(f.service.get());
        QVERIFY(reach(f, view, scenario, forced));
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

    // What the user sees in each phase, light and dark.
    void grab_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("must");
        const QList<std::tuple<const char *, const char *, bool, const char *>> phases{
            {"offer", "offer", false, "立即更新"},
            {"forced", "offer", true, "必须升级"},
            {"downloading", "downloading", false, "50%"},
            {"verifying", "verifying", false, "正在校验安装包…"},
            {"ready", "ready", false, "安装并重启"},
            {"manual-install", "manual", false, "需要手动安装"},
            {"failed", "failed", false, "安装包校验失败，请稍后重试"},
        };
        for (bool dark : {false, true})
            for (const auto &[name, scenario, forced, must] : phases)
                QTest::addRow("update-%s-%s", name, dark ? "dark" : "light")
                    << QString::fromUtf8(scenario) << forced << dark << QString::fromUtf8(must);
    }
    void grab()
    {
        QFETCH(QString, scenario);
        QFETCH(bool, forced);
        QFETCH(bool, dark);
        QFETCH(QString, must);
        forceAppearance(dark);
        UpdateFixture f;
        QVERIFY(f.start());
        QWidget frame;
        frame.setAutoFillBackground(true);
        QPalette p = Palette::applicationPalette(dark);
        p.setColor(QPalette::Window, Palette::surface(dark));
        frame.setPalette(p);
        auto *layout = new QVBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *view = new UpdateView(f.service.get(), &frame);
        layout->addWidget(view);
        QVERIFY(reach(f, *view, scenario, forced));
        frame.show();
        frame.adjustSize();
        QTest::qWait(50);
        QVERIFY2(labelTexts(view).contains(must) || buttonTexts(view).contains(must),
                 qPrintable(labelTexts(view).join(u'|') + buttonTexts(view).join(u'|')));
        QVERIFY(QFileInfo::exists(grabToPng(&frame, QString::fromLatin1(QTest::currentDataTag()))));
        f.service->cancel();
        forceAppearance(false);
    }
};

TOVRA_TEST(TestUpdateView)
#include "tst_updateview.moc"
