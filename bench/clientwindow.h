#pragma once

// The client's window inside a benchmark's child process, wired as main.cpp wires it, and how
// such a benchmark finds the native player in it. The benchmarks do not link the media player
// (that would map it at start and hide what the first play costs), so the player's widgets are
// found by their class names and their sinks by Qt's metaobjects, never by the classes
// themselves: that also keeps working while the player's insides change.

#include "screenprobe.h"

#include "models/route.h"
#include "network/paths.h"
#include "store/sharedservices.h"
#include "store/themestore.h"
#include "views/components/typography.h"
#include "views/contentview.h"
#include "views/engine/engineloader.h"
#include "views/palette.h"

#include <QApplication>
#include <QDateTime>

#include <malloc.h>

namespace tovra::bench {

// The process-wide services of main.cpp, before the window is made.
inline void wireAsMain()
{
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QApplication::setOrganizationName(QStringLiteral("TovraClient"));
    QApplication::setApplicationName(QStringLiteral("TovraClient"));
    ThemeStore::shared();
    Palette::installApplicationTheme();
    installApplicationFont();
    installSharedServices(qApp);
    EngineLoader::setPreloadAllowed(true);
}

// The route that plays episode 1 of did, as a title page's play button pushes it.
inline Route playRoute(const QString &did)
{
    return Route::play(PlayEntry{1, did, QStringLiteral("bench"), QDateTime::currentSecsSinceEpoch() + 3600},
                       QStringLiteral("示例"), 0);
}

inline QList<QWidget *> widgetsOfClass(const char *className)
{
    QList<QWidget *> found;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        QList<QWidget *> candidates = top->findChildren<QWidget *>();
        candidates.prepend(top);
        for (QWidget *widget : std::as_const(candidates)) {
            if (qstrcmp(widget->metaObject()->className(), className) == 0)
                found.append(widget);
        }
    }
    return found;
}

// Where the native player draws its picture: in the page, in the picture-in-picture window or
// over the whole screen, whichever is showing now; null while none is.
inline QWidget *playerSurface(const char *where = "page")
{
    for (QWidget *surface : widgetsOfClass("tovra::VideoSurface")) {
        if (!surface->isVisible())
            continue;
        const bool inPip = qstrcmp(surface->window()->metaObject()->className(), "tovra::PipWindow") == 0;
        if (qstrcmp(where, "full") == 0 ? surface->isWindow() : qstrcmp(where, "pip") == 0 ? inPip : !surface->isWindow() && !inPip)
            return surface;
    }
    return nullptr;
}

// The rectangle of the screen the picture covers inside surface.
inline QRect pictureOnScreen(const QWidget *surface, QSize aspect)
{
    return letterboxed(QRect(surface->mapToGlobal(QPoint()), surface->size()), aspect);
}

}
