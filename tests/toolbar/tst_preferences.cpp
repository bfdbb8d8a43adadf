#include "models/bytecount.h"
#include "store/appsettings.h"
#include "support/testmain.h"
#include "toolbarfixture.h"
#include "views/appmenus.h"
#include "views/contentview.h"
#include "views/preferencesview.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QNetworkCacheMetaData>
#include <QNetworkDiskCache>
#include <QPushButton>
#include <QSettings>

using namespace tovra;
using namespace tovra::test;
using namespace Qt::StringLiterals;

namespace {

const QString kNoFolderNote = u"没有设置默认位置时，每次都会弹出保存面板。"_s;
const QString kFolderNote = u"关掉之后点「种子下载」会直接存到上面这个目录，并在文件管理器里选中它。"_s;

QVariant stored(const QString &key)
{
    return QSettings().value(key);
}

bool storedHas(const QString &key)
{
    return QSettings().contains(key);
}

// Puts one response of size bytes into the HTTP disk cache, as a poster download would.
void cacheDownload(QNetworkDiskCache *http, const QString &url, int size)
{
    QNetworkCacheMetaData meta;
    meta.setUrl(QUrl(url));
    meta.setSaveToDisk(true);
    meta.setRawHeaders({{"Content-Type", "image/jpeg"}});
    QIODevice *device = http->prepare(meta);
    QVERIFY(device);
    device->write(QByteArray(size, 'p'));
    http->insert(device);
}

}

class PreferencesTest : public QObject
{
    Q_OBJECT

private slots:
    void noFolderChosen()
    {
        ShellFixture f;
        QVERIFY(f.start());
        PreferencesView view;
        QCOMPARE(view.directory(), std::nullopt);
        QVERIFY(view.showsDefaultPath());
        QCOMPARE(view.shownPath(), AppSettings::shared().defaultTorrentDirectory());
        QVERIFY(view.resetButton()->isHidden());
        QVERIFY(view.askSwitch()->isChecked());
        QVERIFY(!view.askSwitch()->isEnabled());
        QCOMPARE(view.downloadNote()->text(), kNoFolderNote);
        QCOMPARE(view.pathLabel()->toolTip(), QString());
        QCOMPARE(view.width(), PreferencesView::kWidth);
    }

    // Choosing a folder stores it and turns asking off; the switch turns it on again; "恢复默认"
    // removes the folder and asks again.
    void folderChoiceAndSwitch()
    {
        ShellFixture f;
        QVERIFY(f.start());
        const QString folder = QDir(f.home.path()).filePath(u"种子 <新>"_s);
        QVERIFY(QDir().mkpath(folder));
        QString startedIn;
        PreferencesView view;
        view.setDirectoryChooser([&](QWidget *, const QString &start) -> std::optional<QString> {
            startedIn = start;
            return folder;
        });

        const QString defaultFolder = AppSettings::shared().defaultTorrentDirectory();
        view.chooseButton()->click();
        QCOMPARE(startedIn, defaultFolder);
        QCOMPARE(stored(u"torrentDirectory"_s).toString(), folder);
        QCOMPARE(stored(u"askEverySave"_s).toBool(), false);
        QCOMPARE(view.directory(), std::optional(folder));
        QCOMPARE(view.shownPath(), folder);
        QVERIFY(!view.resetButton()->isHidden());
        QVERIFY(view.askSwitch()->isEnabled());
        QVERIFY(!view.askSwitch()->isChecked());
        QCOMPARE(view.downloadNote()->text(), kFolderNote);
        // The path is user text: its tooltip shows it literally.
        QVERIFY(view.pathLabel()->toolTip().contains(u"&lt;新&gt;"_s));
        QVERIFY(!view.pathLabel()->toolTip().contains(u"<新>"_s));

        view.askSwitch()->click();
        QCOMPARE(stored(u"askEverySave"_s).toBool(), true);
        QCOMPARE(stored(u"torrentDirectory"_s).toString(), folder);
        QVERIFY(AppSettings::shared().askEverySave());
        view.askSwitch()->click();
        QCOMPARE(stored(u"askEverySave"_s).toBool(), false);

        // A second choice starts where the first one is.
        view.chooseButton()->click();
        QCOMPARE(startedIn, folder);

        view.resetButton()->click();
        QVERIFY(!storedHas(u"torrentDirectory"_s));
        QCOMPARE(stored(u"askEverySave"_s).toBool(), true);
        QVERIFY(view.resetButton()->isHidden());
        QVERIFY(view.askSwitch()->isChecked());
        QVERIFY(!view.askSwitch()->isEnabled());
        QCOMPARE(view.downloadNote()->text(), kNoFolderNote);
    }

    void cancelledChoiceChangesNothing()
    {
        ShellFixture f;
        QVERIFY(f.start());
        PreferencesView view;
        view.setDirectoryChooser([](QWidget *, const QString &) -> std::optional<QString> { return std::nullopt; });
        view.chooseButton()->click();
        QVERIFY(!storedHas(u"torrentDirectory"_s));
        QVERIFY(!storedHas(u"askEverySave"_s));
        QCOMPARE(view.directory(), std::nullopt);
        QVERIFY(view.askSwitch()->isChecked());
    }

    // The stored choice is what a new window starts from.
    void startsFromTheStoredChoice()
    {
        ShellFixture f;
        QVERIFY(f.start());
        const QString folder = f.home.path();
        AppSettings::shared().setTorrentDirectory(folder);
        AppSettings::shared().setAskEverySave(true);
        PreferencesView view;
        QCOMPARE(view.directory(), std::optional(folder));
        QVERIFY(view.askSwitch()->isChecked());
        QVERIFY(view.askSwitch()->isEnabled());
        QCOMPARE(view.downloadNote()->text(), kFolderNote);
    }

    // The size is both caches together; clearing empties both, says how much it freed, and the
    // line goes again after its time.
    void cacheSizeShownAndCleared()
    {
        ShellFixture f;
        QVERIFY(f.start());
        auto *http = new QNetworkDiskCache(&f.manager);
        http->setCacheDirectory(QDir(f.home.cacheHome()).filePath(u"http"_s));
        f.manager.setCache(http);
        cacheDownload(http, u"https://img.example/a.jpg"_s, 30000);
        cacheDownload(http, u"https://img.example/b.jpg"_s, 12000);
        f.cache->saveData(QByteArray(5000, 'j'), u"api_index"_s);
        f.cache->saveData(QByteArray(700, 'j'), u"api_item?did=9"_s);
        f.cache->flush();
        const qint64 expected = f.cache->diskSize() + http->cacheSize();
        QVERIFY(http->cacheSize() >= 42000);
        QVERIFY(f.cache->diskSize() >= 5700);

        PreferencesView view;
        view.setClearedShownFor(std::chrono::milliseconds(300));
        QCOMPARE(view.cacheSize(), 0);
        view.show();
        QCOMPARE(view.cacheSize(), expected);
        QCOMPARE(view.sizeLabel()->text(), formatByteCount(expected));
        QVERIFY(view.clearedLabel()->isHidden());

        view.clearButton()->click();
        QVERIFY(view.isClearing());
        QCOMPARE(view.clearButton()->text(), u"清除中…"_s);
        QVERIFY(!view.clearButton()->isEnabled());
        // A second press while it runs does nothing.
        view.clear();

        QVERIFY(waitFor([&] { return !view.isClearing(); }));
        QCOMPARE(view.cleared(), std::optional(u"已清除 "_s + formatByteCount(expected)));
        QVERIFY(!view.clearedLabel()->isHidden());
        QCOMPARE(view.clearedLabel()->text(), u"已清除 "_s + formatByteCount(expected));
        QCOMPARE(view.cacheSize(), 0);
        QCOMPARE(view.sizeLabel()->text(), formatByteCount(0));
        QCOMPARE(view.clearButton()->text(), u"清除缓存"_s);
        QVERIFY(view.clearButton()->isEnabled());
        QCOMPARE(http->cacheSize(), 0);
        QVERIFY(!http->metaData(QUrl(u"https://img.example/a.jpg"_s)).isValid());
        QVERIFY(!f.cache->loadData(u"api_index"_s, 600).has_value());

        QTest::qWait(150);
        QVERIFY(!view.clearedLabel()->isHidden());
        QVERIFY(waitFor([&] { return view.clearedLabel()->isHidden(); }, 600));
        QCOMPARE(view.cleared(), std::nullopt);
    }

    // Ctrl+, opens the real window, once.
    void menuOpensThePreferences()
    {
        ShellFixture f;
        QVERIFY(f.start());
        ContentView window;
        QCOMPARE(window.menus()->preferencesAction()->shortcut(), QKeySequence(u"Ctrl+,"_s));
        window.menus()->preferencesAction()->trigger();
        window.menus()->preferencesAction()->trigger();
        const auto dialogs = window.findChildren<QDialog *>(u"preferencesWindow"_s);
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.first()->findChild<PreferencesView *>());
        for (const QLabel *label : dialogs.first()->findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(!dialogs.first()->findChild<QLabel *>(u"downloadNote"_s)->text().contains(u"访达"_s));
        dialogs.first()->close();
    }
};

TOVRA_TEST(PreferencesTest)
#include "tst_preferences.moc"
