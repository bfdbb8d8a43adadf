#include "app/firstpaintmark.h"
#include "buildconfig.h"
#include "network/apiclient.h"
#include "store/authstore.h"
#include "network/paths.h"
#include "store/sharedservices.h"
#include "store/telemetry.h"
#include "store/themestore.h"
#include "store/updateservice.h"
#include "views/contentview.h"
#include "views/engine/engineloader.h"
#include "views/palette.h"
#include "views/startup.h"
#include "views/qttranslations.h"
#include "views/components/typography.h"

#include <QApplication>

#include <malloc.h>

using namespace tovra;

int main(int argc, char *argv[])
{
    // Decoded posters (a few hundred kilobytes each) come and go all session long. Left to
    // itself, glibc raises its mmap threshold past their size after the first is freed, and
    // their memory then stays in the heap, fragmented, long after the posters are gone; a fixed
    // threshold keeps them in mappings of their own that return to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QApplication app(argc, argv);
    // Organisation and application share one name so that QSettings lands in
    // ~/.config/TovraClient/TovraClient.conf.
    QApplication::setOrganizationName(QString::fromLatin1(kAppName));
    QApplication::setApplicationName(QString::fromLatin1(kAppName));
    QApplication::setApplicationVersion(QString::fromLatin1(build::kVersion));
    QApplication::setApplicationDisplayName(QStringLiteral("Tovra"));

    // Qt's own texts (file dialogs, text fields' context menus, standard buttons, network error
    // strings) in Chinese like the rest of the window, whatever the desktop's language.
    installChineseQtTranslations(&app);

    // The theme store reads the desktop's own palette when it is made, so it comes before any
    // palette of ours is installed.
    ThemeStore::shared();
    Palette::installApplicationTheme();
    installApplicationFont();

    installSharedServices(&app);
    Telemetry::setShared(new Telemetry(APIClient::shared(), AuthStore::shared(), appDataDir(), &app));
    UpdateService::shared();
    // The web engine's OpenGL context is not asked for here (Qt::AA_ShareOpenGLContexts): the
    // engine loader makes it when the engine is first needed. Title pages map the engine ahead
    // of a likely play.
    EngineLoader::setPreloadAllowed(true);

    ContentView window;
    // Closing the window ends the start-up work with the client: an update check after the pause
    // would only keep alive a process the user has ended, and show its panel with no window.
    auto *startup = new Startup(Startup::defaultSteps(), Startup::kPause, &app);
    QObject::connect(&window, &ContentView::contentShown, startup, [startup] {
        QCoro::connect(startup->run(), startup, [] {});
    });
    window.endClientOnClose();
    installFirstPaintMark();
    window.show();
    return app.exec();
}
