#include "buildconfig.h"
#include "models/catalogue.h"
#include "store/appsettings.h"
#include "views/firstlaunchhelp.h"
#include "views/palette.h"
#include "views/toolbar/suggestpanel.h"
#include "views/toolbar/suggestrow.h"
#include "views/usercenter/avatarcropview.h"

#include <QDir>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include "support/testenv.h"
#include "support/testmain.h"

#include <functional>

using namespace tovra;
using namespace tovra::test;

namespace {
using Reading = std::function<QString()>;
}

Q_DECLARE_METATYPE(Reading)

// Small things the user sees or the system is told, each read off the real object.
class TestExactDetails : public QObject
{
    Q_OBJECT
private slots:
    void details_data()
    {
        QTest::addColumn<Reading>("read");
        QTest::addColumn<QString>("expected");
        QTest::newRow("search service path") << Reading([] { return QUrl(QString::fromUtf8(build::kSearchUrl)).path(); })
                                             << QStringLiteral("/index");
        QTest::newRow("suggestion rows background") << Reading([] {
            SuggestPanel panel;
            SuggestItem hit;
            hit.did = QStringLiteral("1");
            hit.titleMarked = QStringLiteral("星河");
            panel.setSuggestions({hit}, -1);
            panel.show();
            const SuggestRow *row = panel.rows().first();
            const QPoint inRow = row->mapTo(&panel, QPoint(row->width() - 3, row->height() / 2));
            return panel.grab().toImage().pixelColor(inRow * panel.devicePixelRatioF()).name();
        }) << Palette::surface().name();
        QTest::newRow("file dialogs start at home without Downloads") << Reading([] {
            return QDir::home().relativeFilePath(AppSettings::shared().defaultTorrentDirectory());
        }) << QStringLiteral(".");
        QTest::newRow("crop sheet width") << Reading([] {
            AvatarCropView sheet(QImage(80, 60, QImage::Format_RGB32), {}, {});
            sheet.show();
            return QString::number(sheet.width());
        }) << QStringLiteral("400");
        QTest::newRow("zoom slider name") << Reading([] {
            return AvatarCropView(QImage(80, 60, QImage::Format_RGB32), {}, {}).slider()->accessibleName();
        }) << QStringLiteral("缩放");
        QTest::newRow("first-launch packages") << Reading([] {
            const QStringList words = FirstLaunchHelp::packagesCommand().split(u' ');
            return QString::number(words.contains(QStringLiteral("qt6-image-formats-plugins"))
                                   + words.contains(QStringLiteral("qt6-translations-l10n"))
                                   + words.contains(QStringLiteral("libqt6widgets6")));
        }) << QStringLiteral("3");
    }
    void details()
    {
        QFETCH(Reading, read);
        IsolatedHome home;
        QTEST(read(), "expected");
    }
};

TOVRA_TEST(TestExactDetails)
#include "tst_exactdetails.moc"
