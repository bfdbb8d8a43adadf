#pragma once

#include "views/palette.h"

#include <QColor>
#include <QWidget>
#include <optional>

namespace tovra {

// A rounded rectangle behind a group of widgets, filled and optionally outlined in palette
// colours (or a fixed fill, for the white card behind a QR picture that must scan in the dark
// appearance too).
class RoundedPanel : public QWidget
{
    Q_OBJECT
public:
    RoundedPanel(qreal radius, Palette::Name fill, QWidget *parent = nullptr);

    void setFill(Palette::Name fill);
    void setFixedFill(const QColor &color);
    void setStroke(std::optional<Palette::Name> stroke);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_radius;
    Palette::Name m_fill;
    std::optional<QColor> m_fixedFill;
    std::optional<Palette::Name> m_stroke;
};

}
