#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

namespace tovra {

class TovraLogo;

// The sidebar's header: the brand mark beside the product's name.
class BrandHeader : public QWidget
{
    Q_OBJECT
public:
    explicit BrandHeader(const QColor &color, QWidget *parent = nullptr);

    QColor color() const;

private:
    void applyColors();

    TovraLogo *m_logo = nullptr;
    QLabel *m_name = nullptr;
};

}
