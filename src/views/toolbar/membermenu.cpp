#include "views/toolbar/membermenu.h"

#include "views/components/access.h"
#include "views/components/appearance.h"
#include "views/palette.h"
#include "views/toolbar/membermenubutton.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace tovra {

namespace {
constexpr int kGapBelowAnchor = 6;
}

MemberMenu::MemberMenu(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("memberMenu"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFixedWidth(kWidth);
    Access::describe(this, QStringLiteral("账号菜单"), QAccessible::PopupMenu);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(2);
    m_refresh = new MemberMenuButton(QStringLiteral("刷新账号信息"), QStringLiteral("arrow.clockwise"), this);
    m_refresh->setObjectName(QStringLiteral("refreshAccountButton"));
    m_logout = new MemberMenuButton(QStringLiteral("退出登录"), QStringLiteral("rectangle.portrait.and.arrow.right"), this);
    m_logout->setObjectName(QStringLiteral("logoutButton"));
    m_divider = new QWidget(this);
    m_divider->setFixedHeight(1);
    m_divider->setAutoFillBackground(true);

    column->addWidget(m_refresh);
    column->addSpacing(3);
    column->addWidget(m_divider);
    column->addSpacing(3);
    column->addWidget(m_logout);
    adjustSize();

    connect(m_refresh, &MemberMenuButton::clicked, this, &MemberMenu::refreshClicked);
    connect(m_logout, &MemberMenuButton::clicked, this, &MemberMenu::logoutClicked);

    const auto colour = [this](bool dark) {
        QPalette p = m_divider->palette();
        p.setColor(QPalette::Window, Palette::border(dark));
        m_divider->setPalette(p);
    };
    colour(Palette::isDark());
    followAppearance(this, colour);
}

void MemberMenu::placeUnder(const QWidget *anchor)
{
    if (!anchor)
        return;
    adjustSize();
    const QPoint bottomCentre = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height()));
    QPoint at(bottomCentre.x() - width() / 2, bottomCentre.y() + kGapBelowAnchor);
    // Kept on the screen the chip is on; a chip off every screen (a virtual desktop larger than
    // the screens) leaves the menu where it belongs, under the chip.
    if (const QScreen *screen = QGuiApplication::screenAt(bottomCentre)) {
        const QRect area = screen->availableGeometry();
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - width() + 1)));
    }
    move(at);
}

void MemberMenu::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    emit hoverChanged(true);
    QWidget::enterEvent(event);
}

void MemberMenu::leaveEvent(QEvent *event)
{
    m_hovering = false;
    emit hoverChanged(false);
    QWidget::leaveEvent(event);
}

MemberMenuButton *MemberMenu::current() const
{
    return m_current == 0 ? m_refresh : m_current == 1 ? m_logout : nullptr;
}

void MemberMenu::moveCurrent(int step)
{
    if (MemberMenuButton *was = current())
        was->setHighlighted(false);
    m_current = m_current < 0 ? (step > 0 ? 0 : 1) : (m_current + step + 2) % 2;
    current()->setHighlighted(true);
}

void MemberMenu::hideEvent(QHideEvent *event)
{
    m_hovering = false;
    if (MemberMenuButton *was = current())
        was->setHighlighted(false);
    m_current = -1;
    QWidget::hideEvent(event);
}

void MemberMenu::paintEvent(QPaintEvent *)
{
    const bool dark = Palette::isDark();
    QPainter painter(this);
    painter.fillRect(rect(), Palette::surface(dark));
    painter.setPen(QPen(Palette::border(dark), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}
