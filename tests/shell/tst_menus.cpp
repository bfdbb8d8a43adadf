#include "shellfixture.h"
#include "store/updateservice.h"
#include "support/testmain.h"
#include "views/aboutdialog.h"
#include "views/appmenus.h"
#include "views/contentview.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

class MenusTest : public QObject
{
    Q_OBJECT

private slots:
    void firstMenuHoldsTheItemsInOrder()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        QMenu *menu = window.menus()->appMenu();
        QCOMPARE(window.menuBar()->actions().first(), menu->menuAction());

        QStringList titles;
        for (const QAction *action : menu->actions())
            titles << (action->isSeparator() ? u"—"_s : action->text());
        QCOMPARE(titles, (QStringList{u"关于 Tovra"_s, u"检查更新…"_s, u"在新机器上打不开？…"_s, u"—"_s, u"偏好设置…"_s,
                                      u"—"_s, u"退出 Tovra"_s}));
        QCOMPARE(window.menus()->preferencesAction()->shortcut(), QKeySequence(u"Ctrl+,"_s));
        QCOMPARE(window.menus()->quitAction()->shortcut(), QKeySequence(u"Ctrl+Q"_s));
    }

    // One main window only, and no desktop services to list.
    void noNewWindowOrServicesItems()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        QList<QAction *> pending = window.menuBar()->actions();
        while (!pending.isEmpty()) {
            QAction *action = pending.takeFirst();
            if (action->menu())
                pending.append(action->menu()->actions());
            const QString text = action->text();
            QVERIFY2(!text.contains(u"新窗口"_s) && !text.contains(u"New Window"_s, Qt::CaseInsensitive), qPrintable(text));
            QVERIFY2(text != u"服务"_s && text != u"Services"_s, qPrintable(text));
        }
    }

    void preferencesOpenOneWindow()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        window.menus()->preferencesAction()->trigger();
        window.menus()->preferencesAction()->trigger();
        const auto windows = window.findChildren<QDialog *>(u"preferencesWindow"_s);
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows.first()->isVisible());
        windows.first()->close();
    }

    void aboutShowsTheShortVersionOnly()
    {
        QCOMPARE(AboutDialog::versionLine(u"1.4.2"_s), u"版本 1.4.2"_s);
        QCOMPARE(AboutDialog::versionLine(QString()), QString());

        const QString saved = QCoreApplication::applicationVersion();
        QCoreApplication::setApplicationVersion(u"2.0.1"_s);
        AboutDialog dialog;
        QCOMPARE(dialog.versionText(), u"版本 2.0.1"_s);
        for (const QLabel *label : dialog.findChildren<QLabel *>()) {
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QVERIFY(!label->text().contains(u'('));
        }
        QCoreApplication::setApplicationVersion(saved);
    }

    void aboutItemOpensTheDialog()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        bool seen = false;
        // The dialog is modal; close it from inside its own loop.
        QTimer::singleShot(0, this, [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (auto *about = qobject_cast<AboutDialog *>(top); about && about->isVisible()) {
                    seen = true;
                    about->accept();
                }
            }
        });
        window.menus()->aboutAction()->trigger();
        QVERIFY(seen);
    }

    // "检查更新…" always shows its answer; the silent start-up check does not open the panel for
    // nothing.
    void updateCheckFromTheMenuShowsTheAnswer()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        QVERIFY(runTask(UpdateService::shared()->check(true)));
        QVERIFY(!window.findChild<QDialog *>(u"updatePanel"_s));
        window.menus()->checkForUpdatesAction()->trigger();
        QVERIFY(waitFor([&] { return window.findChild<QDialog *>(u"updatePanel"_s) != nullptr; }));
        QVERIFY(UpdateService::shared()->showsPanel());
        UpdateService::shared()->setShowsPanel(false);
    }

    // The window shows the update panel while the service asks for it; closing it tells the
    // service the user has dismissed it.
    void updatePanelFollowsTheService()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        UpdateService *service = UpdateService::shared();
        service->setShowsPanel(true);
        auto *panel = window.findChild<QDialog *>(u"updatePanel"_s);
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        panel->reject();
        QVERIFY(!service->showsPanel());
        QVERIFY(waitFor([&] { return !window.findChild<QDialog *>(u"updatePanel"_s); }));

        service->setShowsPanel(true);
        QVERIFY(window.findChild<QDialog *>(u"updatePanel"_s));
        service->setShowsPanel(false);
        QVERIFY(waitFor([&] { return !window.findChild<QDialog *>(u"updatePanel"_s); }));
    }
};

TOVRA_TEST(MenusTest)
#include "tst_menus.moc"
