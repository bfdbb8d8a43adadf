#pragma once

#include <QAbstractButton>

namespace tovra {

// A capsule button of the category browser's tag row: accent-filled with white text when
// active, a quiet surface otherwise.
class FilterChip : public QAbstractButton
{
    Q_OBJECT
public:
    explicit FilterChip(const QString &text, QWidget *parent = nullptr);

    // Server text: kept out of QAbstractButton::setText, which would read "&" as a shortcut mark.
    QString label() const { return m_label; }
    bool isActive() const { return m_active; }
    void setActive(bool active);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_label;
    bool m_active = false;
};

}
