#include "views/player/qualitymenu.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/engine/qualitysource.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QAccessibleWidget>
#include <QActionGroup>
#include <QMenu>
#include <QStyleOptionMenuItem>

#include <algorithm>

namespace tovra {

namespace {

// Where a menu of `size` opens by `anchor` (global coordinates) inside `bounds`: under it and
// starting at its leading edge where it fits, above it and ending at its trailing edge where
// not, and pushed inside when neither fits.
QPoint placeInside(const QRect &anchor, const QSize &size, const QRect &bounds, bool rightToLeft)
{
    const int leading = rightToLeft ? anchor.right() + 1 - size.width() : anchor.left();
    const int trailing = rightToLeft ? anchor.left() : anchor.right() + 1 - size.width();
    const auto fitsAcross = [&](int x) { return x >= bounds.left() && x + size.width() <= bounds.right() + 1; };
    int x = fitsAcross(leading) || !fitsAcross(trailing) ? leading : trailing;
    int y = anchor.bottom() + 1;
    if (y + size.height() > bounds.bottom() + 1 && anchor.top() - size.height() >= bounds.top())
        y = anchor.top() - size.height();
    // Larger than the window: its start stays in sight.
    x = std::max(bounds.left(), std::min(x, bounds.right() + 1 - size.width()));
    y = std::max(bounds.top(), std::min(y, bounds.bottom() + 1 - size.height()));
    return {x, y};
}

// The choices are checkable so that a screen reader hears which one is checked; on screen the
// check-mark symbol says it, so the style draws no box or radio beside it.
class ChoiceMenu : public QMenu
{
public:
    using QMenu::QMenu;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMenu::showEvent(event);
        // Qt keeps a button's menu on the screen, not in the window: by the button at the edge
        // of a player smaller than the screen, it would hang outside the player. Placed here,
        // before the window is mapped, it shows in one place only.
        QWidget *button = parentWidget();
        if (!button)
            return;
        const QWidget *window = button->window();
        const QRect bounds(window->mapToGlobal(QPoint(0, 0)), window->size());
        const QRect anchor(button->mapToGlobal(QPoint(0, 0)), button->size());
        move(placeInside(anchor, size(), bounds, button->layoutDirection() == Qt::RightToLeft));
    }

    void initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const override
    {
        QMenu::initStyleOption(option, action);
        option->menuHasCheckableItems = false;
        option->checkType = QStyleOptionMenuItem::NotCheckable;
        option->checked = false;
    }
};

// Qt's tool button shows its menu's entries to screen readers only for a split button; this one
// opens on a press, so the open menu is made the button's child here.
class QualityMenuAccessible : public QAccessibleWidget
{
public:
    explicit QualityMenuAccessible(QualityMenu *button) : QAccessibleWidget(button, QAccessible::ButtonMenu) {}

    QMenu *openMenu() const
    {
        QMenu *menu = static_cast<QualityMenu *>(widget())->choices();
        return menu->isVisible() ? menu : nullptr;
    }
    int childCount() const override { return openMenu() ? 1 : 0; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 && openMenu() ? QAccessible::queryAccessibleInterface(openMenu()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && openMenu() && child->object() == openMenu() ? 0 : -1;
    }
    QString text(QAccessible::Text t) const override
    {
        // The name is "清晰度"; the value is the choice the button shows.
        if (t == QAccessible::Value)
            return static_cast<QualityMenu *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        s.expanded = openMenu() != nullptr;
        return s;
    }
    QStringList actionNames() const override { return {pressAction(), showMenuAction()}; }
    void doAction(const QString &action) override
    {
        // The menu runs its own loop: opened later, so the screen reader's call returns first.
        if (action == pressAction() || action == showMenuAction())
            QMetaObject::invokeMethod(widget(), "showMenu", Qt::QueuedConnection);
    }
};

QAccessibleInterface *accessibleFactory(const QString &, QObject *object)
{
    if (auto *button = qobject_cast<QualityMenu *>(object))
        return new QualityMenuAccessible(button);
    return nullptr;
}

}

QualityMenu::QualityMenu(QWidget *parent)
    : QToolButton(parent)
    , m_menu(new ChoiceMenu(this))
{
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(accessible);
    setMenu(m_menu);
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setToolTip(QStringLiteral("清晰度"));
    setAccessibleName(QStringLiteral("清晰度"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoRaise(true);
    setPointingHand(this);
    setVisible(false);
    // The symbols are drawn in the appearance's text colour: a change of appearance redraws them.
    followAppearance(this, [this](bool) { rebuild(); });
}

void QualityMenu::setModel(QualitySource *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (m_model) {
        connect(m_model, &QualitySource::variantsChanged, this, &QualityMenu::rebuild);
        connect(m_model, &QualitySource::selectedChanged, this, &QualityMenu::rebuild);
        connect(m_model, &QObject::destroyed, this, &QualityMenu::rebuild);
    }
    rebuild();
}

void QualityMenu::rebuild()
{
    m_menu->clear();
    delete m_menu->findChild<QActionGroup *>();
    if (!m_model || m_model->variants().size() < 2) {
        setVisible(false);
        return;
    }
    const auto &selected = m_model->selected();
    setIcon(Icons::icon(QStringLiteral("rectangle.3.group"), Palette::text()));
    setText(selected ? selected->label : QStringLiteral("自动"));
    const QIcon check = Icons::icon(QStringLiteral("checkmark"), Palette::text());

    QPointer<QualitySource> model = m_model;
    // One of the group is checked at a time, and picking the checked one again leaves it so.
    auto *group = new QActionGroup(m_menu);
    const auto mark = [&](QAction *action, bool chosen) {
        action->setCheckable(true);
        action->setChecked(chosen);
        group->addAction(action);
        if (chosen)
            action->setIcon(check);
    };
    QAction *automatic = m_menu->addAction(QStringLiteral("自动"));
    mark(automatic, !selected);
    connect(automatic, &QAction::triggered, this, [model] {
        if (model)
            model->select(std::nullopt);
    });
    m_menu->addSeparator();
    for (const auto &variant : m_model->variants()) {
        // Labels are our own words ("720p", "800kbps"), never the playlist's text.
        QAction *action = m_menu->addAction(variant.label);
        mark(action, selected == variant);
        connect(action, &QAction::triggered, this, [model, variant] {
            if (model)
                model->select(variant);
        });
    }
    setVisible(true);
}

}
