#include "views/webprofile.h"

#include "store/authstore.h"
#include "store/log.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include <unistd.h>

namespace tovra {

QWebEngineProfile *WebProfile::shared()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        // On Linux the engine keeps pages out of the accessibility tree unless asked before it
        // starts; asked, a screen reader reaches a page's own controls (the player's buttons).
        // The tree is built only while an assistive technology is listening.
        if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
            qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
        // Chromium will not start its sandbox as root, and ends the whole process rather than the
        // page: a client run as root shows its pages unsandboxed and says so in the log.
        if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
            logLine(QStringLiteral("以 root 身份运行，网页组件不使用沙箱"));
        }
        profile = new QWebEngineProfile(QCoreApplication::instance());
        // The site cookie stands for the signed-in account: once the user signs out, or another
        // account signs in, site pages must not stay signed in as the previous one.
        QObject::connect(AuthStore::shared(), &AuthStore::accountChanged, profile, [p = profile.data()] {
            p->cookieStore()->deleteAllCookies();
        });
    }
    return profile;
}

}
