#include "views/detail/metalink.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/components/typography.h"
#include "views/palette.h"

#include <QMouseEvent>

namespace tovra {

MetaLink::MetaLink(const QString &key, const QString &text, QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setPointingHand(this);
    Access::control(this, key + u' ' + text, QAccessible::Link, [this] { emit clicked(); });
    applyLook();
    followAppearance(this, [this](bool) { applyLook(); });
}

void MetaLink::applyLook()
{
    QFont font = uiFont(kFontPixels);
    font.setUnderline(m_hovering);
    setFont(font);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, m_hovering ? Palette::metaLinkHover() : Palette::metaLink());
    setPalette(p);
}

void MetaLink::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    applyLook();
}

void MetaLink::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    setHovering(true);
}

void MetaLink::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    setHovering(false);
    m_pressed = false;
}

void MetaLink::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void MetaLink::mouseReleaseEvent(QMouseEvent *event)
{
    // Like a button: the press and the release both have to be on the link.
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

}
