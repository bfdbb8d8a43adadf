#pragma once

class QPushButton;

namespace tovra {

// The accent-filled look of a page's main action, kept in step with the appearance. A disabled
// button keeps the ordinary disabled colours, so "not now" reads at a glance.
void makeProminent(QPushButton *button);

}
