#pragma once

#include "views/engine/qualitysource.h"

#include <QWidget>

class QKeyEvent;

namespace tovra {

// The native player as the player page sees it: a widget that plays while on screen and says
// when its playback (and with it the quality choices) comes and goes.
class NativePlayback : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The player's keys, for a control of the page that belongs to the player; answers whether
    // the key was one of them (and has been acted on).
    virtual bool handleKey(const QKeyEvent *event) = 0;

signals:
    // A new playback on show; none once it has stopped.
    void modelChanged(tovra::QualitySource *model);
};

}
