#pragma once

#include <QWidget>

namespace tovra {

// A rounded panel in the raised surface colour, behind a section's rows.
class SurfaceBox : public QWidget
{
    Q_OBJECT
public:
    explicit SurfaceBox(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

}
