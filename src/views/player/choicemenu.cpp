#include "views/player/choicemenu.h"

#include "views/components/appearance.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QActionGroup>
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

}

ChoiceMenu::ChoiceMenu(QWidget *parent)
    : QMenu(parent)
    , m_group(new QActionGroup(this))
{
    // The symbol is drawn in the appearance's text colour: a change of appearance redraws it.
    followAppearance(this, [this](bool) { markChosen(); });
    connect(m_group, &QActionGroup::triggered, this, [this] { markChosen(); });
}

QAction *ChoiceMenu::addChoice(const QString &text)
{
    QAction *action = addAction(text);
    action->setCheckable(true);
    m_group->addAction(action);
    return action;
}

void ChoiceMenu::setChosen(QAction *chosen)
{
    for (QAction *action : m_group->actions())
        action->setChecked(action == chosen);
    markChosen();
}

QAction *ChoiceMenu::chosen() const
{
    return m_group->checkedAction();
}

void ChoiceMenu::markChosen()
{
    const QIcon check = Icons::icon(QStringLiteral("checkmark"), Palette::text());
    for (QAction *action : m_group->actions())
        action->setIcon(action->isChecked() ? check : QIcon());
}

void ChoiceMenu::showEvent(QShowEvent *event)
{
    QMenu::showEvent(event);
    // Qt keeps a button's menu on the screen, not in the window: by the button at the edge of a
    // player smaller than the screen, it would hang outside the player. Placed here, before the
    // window is mapped, it shows in one place only.
    QWidget *button = parentWidget();
    if (!button)
        return;
    const QWidget *window = button->window();
    const QRect bounds(window->mapToGlobal(QPoint(0, 0)), window->size());
    const QRect anchor(button->mapToGlobal(QPoint(0, 0)), button->size());
    move(placeInside(anchor, size(), bounds, button->layoutDirection() == Qt::RightToLeft));
}

void ChoiceMenu::initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const
{
    QMenu::initStyleOption(option, action);
    option->menuHasCheckableItems = false;
    option->checkType = QStyleOptionMenuItem::NotCheckable;
    option->checked = false;
}

}
