#pragma once

#include "views/components/stateoverlay.h"

#include <QPointer>
#include <QStackedLayout>
#include <QString>
#include <QWidget>

#include <functional>

namespace tovra {

// The pages a screen shows only while it loads, fails or has nothing are made when first needed,
// so a screen that goes straight to its content never pays for them.
inline StateOverlay *overlayOnDemand(StateOverlay *&slot, QStackedLayout *stack, QWidget *owner)
{
    if (!slot) {
        slot = new StateOverlay(StateOverlay::Kind::loading(), owner);
        stack->addWidget(slot);
    }
    return slot;
}

inline QWidget *blankOnDemand(QWidget *&slot, QStackedLayout *stack, QWidget *owner)
{
    if (!slot) {
        slot = new QWidget(owner);
        stack->addWidget(slot);
    }
    return slot;
}

// Shows a failed load on the overlay; its retry runs `retry` on the screen (its reload() unless
// given), if the screen is still there.
template<class Screen, class Retry>
void showFailure(StateOverlay *overlay, const QString &message, Screen *screen, Retry retry)
{
    overlay->setKind(StateOverlay::Kind::error(message, [self = QPointer(screen), retry] {
        if (self)
            std::invoke(retry, self.data());
    }));
}

template<class Screen>
void showFailure(StateOverlay *overlay, const QString &message, Screen *screen)
{
    showFailure(overlay, message, screen, [](Screen *s) { s->reload(); });
}

}
