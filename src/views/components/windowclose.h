#pragma once

class QWidget;

namespace tovra {

// Makes the window manager's close request (WM_DELETE_WINDOW, the title bar's close button) for
// window always reach window->close(). Qt alone drops it in two cases: while a window-modal panel
// blocks the window, and when the request names a native window Qt has already replaced (the
// first web page or video surface re-creates the window's native window; a request sent to the
// old one while the manager had not yet seen the change finds no window in Qt's table). Every
// native window the window has had is remembered, and a request for any of them closes it.
void routeWindowManagerClose(QWidget *window);

}
