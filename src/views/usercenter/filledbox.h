#pragma once

#include "views/palette.h"

#include <QColor>
#include <QWidget>
#include <optional>

namespace tovra {

// A rounded panel behind other widgets: filled with a palette colour that follows the
// appearance (or a fixed colour, such as the white under a QR code), with an optional hairline
// border and the circle used for unread marks when the radius is half the size.
class FilledBox : public QWidget
{
    Q_OBJECT
public:
    FilledBox(Palette::Name fill, qreal radius, QWidget *parent = nullptr);

    void setFixedFill(const QColor &color) { m_fixedFill = color; update(); }
    void setBorder(std::optional<Palette::Name> border) { m_border = border; update(); }
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Palette::Name m_fill;
    std::optional<QColor> m_fixedFill;
    std::optional<Palette::Name> m_border;
    qreal m_radius;
};

// The 6 × 6 red dot of an unread message.
FilledBox *unreadDot(QWidget *parent);

}
