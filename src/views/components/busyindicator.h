#pragma once

#include <QWidget>

namespace tovra {

// An indeterminate spinner: a rotating arc in the dim text colour, driven by the shared
// animation clock only while it is visible.
class BusyIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit BusyIndicator(int size = 28, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    int m_size;
};

}
