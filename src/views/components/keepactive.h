#pragma once

class QWidget;

namespace tovra {

// The first web page or video surface in a window makes Qt replace the window's native window
// (its contents are composed with OpenGL from then on). A window manager hands the focus to the
// new one; without one, the focus falls back to the root window, keys reach no window of ours and
// the window's shortcuts (Alt+←) stay dead until the next click. This gives the focus back to
// window when it was the active window as its native window went away; a window that was not
// active is mapped again without taking the focus from the program the user is in.
void keepActiveAcrossRecreation(QWidget *window);

}
