#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace tovra {

// One row of the sidebar: an active bar, the entry's icon, its title and a "+N" badge of new
// titles. Accent coloured while active or under the pointer, dim otherwise.
class SidebarRow : public QAbstractButton
{
    Q_OBJECT
public:
    SidebarRow(const QString &title, const QString &icon, bool active, qint64 newCount, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QString icon() const { return m_icon; }
    void setIcon(const QString &icon);
    bool isActive() const { return m_active; }
    void setActive(bool active);
    qint64 newCount() const { return m_newCount; }
    void setNewCount(qint64 count);
    bool isHovering() const { return m_hovering; }

    // "+N", or nothing below 1.
    static QString badgeText(qint64 newCount);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void setHovering(bool hovering);

    QString m_title;
    QString m_icon;
    bool m_active = false;
    qint64 m_newCount = 0;
    bool m_hovering = false;
    bool m_keyboardFocus = false; // the focus ring shows only for focus that came by keyboard
    qreal m_hoverAmount = 0; // 0..1, eased
    QVariantAnimation m_hoverAnimation;
};

}
