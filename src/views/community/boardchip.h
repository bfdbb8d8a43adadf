#pragma once

#include <QAbstractButton>

namespace tovra {

// A filter chip of the community board: a quiet rounded label that gains a surface when it is
// the selected filter.
class BoardChip : public QAbstractButton
{
    Q_OBJECT
public:
    BoardChip(const QString &value, const QString &label, QWidget *parent = nullptr);

    const QString &value() const { return m_value; }
    const QString &label() const { return m_label; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_value;
    QString m_label;
    bool m_selected = false;
};

}
