#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace tovra {

// An author's photo cropped to a circle of a fixed diameter, filling it. Until the picture has
// loaded (or when it cannot be) the circle shows the placeholder colour, which may be clear.
class RoundImage : public QWidget
{
    Q_OBJECT
public:
    RoundImage(const QString &address, int diameter, const QColor &placeholder, QWidget *parent = nullptr);

    bool hasImage() const { return !m_image.isNull(); }
    QSize sizeHint() const override { return {m_diameter, m_diameter}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_diameter;
    QColor m_placeholder;
    QImage m_image;
};

}
