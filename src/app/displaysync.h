#pragma once

// Shared by the client's first-paint mark and the start-up benchmark's yardsticks (which include
// it by path and link nothing of ours).

#include <QGuiApplication>

#include <dlfcn.h>

namespace tovra {

// On X, returns once the server has handled every request sent so far, so that a frame already
// handed over is on screen; elsewhere returns at once. Unlike QGuiApplication::sync() it runs no
// events, which would let later work count towards the frame being timed. XSync is looked up in
// the libX11 the platform plugin brought in rather than linked, so no start pays for it.
inline void waitForDisplay()
{
    // The offscreen platform answers as an X application too, with no server behind it.
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    void *library = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return;
    if (auto sync = reinterpret_cast<int (*)(Display *, int)>(dlsym(library, "XSync")))
        sync(x11->display(), 0);
    dlclose(library);
}

}
