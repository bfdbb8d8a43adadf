#pragma once

#include "views/engine/qualitysource.h"

#include <QWidget>

namespace tovra {

// The native player as the player page sees it: a widget that plays while on screen and says
// when its playback (and with it the quality choices) comes and goes.
class NativePlayback : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    // A new playback on show; none once it has stopped.
    void modelChanged(tovra::QualitySource *model);
};

}
