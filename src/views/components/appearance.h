#pragma once

#include <QWidget>
#include <functional>

namespace tovra {

// Repaints widget (and runs hook with the new appearance first) on every light/dark change,
// for as long as the widget lives.
void followAppearance(QWidget *widget, std::function<void(bool dark)> hook = {});

}
