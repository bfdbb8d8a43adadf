#pragma once

#include <QtGlobal>

class QWindow;

namespace tovra::x11 {

// The window manager's stacking order on X (_NET_CLIENT_LIST_STACKING), seen from one of our
// top-level windows. Elsewhere, or before the window manager lists the window, there is
// nothing to say: both answer 0 or false.

// The managed window directly above window's native window, or 0 when it is the top one.
quint32 windowAbove(QWindow *window);

// The window the window manager has given the focus (_NET_ACTIVE_WINDOW), or 0.
quint32 activeWindow(QWindow *window);

// Whether the window manager lists window's native window yet (it is mapped and managed).
bool isStacked(QWindow *window);

// The atom of name on window's display, or 0 off X.
quint32 atom(QWindow *window, const char *name);

// Marks window's native window, not yet mapped, to be kept below other windows
// (_NET_WM_STATE_BELOW) when the window manager takes it on; Qt keeps the mark when it maps it.
void markBelowBeforeMapping(QWindow *window);

// Asks the window manager to take window's native window out of the layer below other windows.
void leaveBelowLayer(QWindow *window);

// Asks the window manager to put window's native window directly below sibling.
void restackBelow(QWindow *window, quint32 sibling);

}
