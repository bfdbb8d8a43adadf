#pragma once

#include <QAbstractButton>

class QVariantAnimation;

namespace tovra {

// A sort order's button: its text and a small triangle that points sideways while the order is
// off, and down or up (turning in 0.15 s) for the active order's direction.
class SortButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit SortButton(const QString &text, QWidget *parent = nullptr);

    bool isActive() const { return m_active; }
    // Degrees: -90 sideways, 0 down, 180 up.
    qreal targetRotation() const { return m_target; }
    void setState(bool active, qreal rotation);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont textFont() const;

    bool m_active = false;
    qreal m_rotation = -90;
    qreal m_target = -90;
    QVariantAnimation *m_turn = nullptr;
};

}
