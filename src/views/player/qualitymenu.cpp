#include "views/player/qualitymenu.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/engine/qualitysource.h"
#include "views/icons.h"
#include "views/player/choicemenu.h"
#include "views/palette.h"

#include <QAccessibleWidget>
#include <QStyleOptionToolButton>

#include <algorithm>

namespace tovra {

namespace {

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
    // Hidden, it still has the size it will show at, for a bar that keeps its room.
    setIcon(Icons::icon(QStringLiteral("rectangle.3.group"), Palette::text()));
    setText(QStringLiteral("自动"));
    setVisible(false);
    // The symbols are drawn in the appearance's text colour: a change of appearance redraws them.
    followAppearance(this, [this](bool) { rebuild(); });
}

QMenu *QualityMenu::choices() const
{
    return m_menu;
}

QSize QualityMenu::sizeHint() const
{
    // As large as the largest choice: neither the variants' arrival nor a choice moves what is
    // beside the button. A CJK text (a fallback font) is taller than a Latin one.
    QSize room = QToolButton::sizeHint();
    for (const QString &text : m_room)
        room = room.expandedTo(sizeFor(text));
    return room;
}

QSize QualityMenu::sizeFor(const QString &text) const
{
    // QToolButton's own sum for a text beside the icon, for a text it does not show yet.
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text = text;
    const QFontMetrics metrics = fontMetrics();
    QSize box = metrics.size(Qt::TextShowMnemonic, text);
    box.rwidth() += metrics.horizontalAdvance(u' ') * 2;
    const QSize content(option.iconSize.width() + 4 + box.width(), std::max(option.iconSize.height(), box.height()));
    option.rect.setSize(content);
    return style()->sizeFromContents(QStyle::CT_ToolButton, &option, content, this);
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
    if (!m_model || m_model->variants().size() < 2) {
        setVisible(false);
        return;
    }
    const auto &selected = m_model->selected();
    setIcon(Icons::icon(QStringLiteral("rectangle.3.group"), Palette::text()));
    setText(selected ? selected->label : QStringLiteral("自动"));

    QPointer<QualitySource> model = m_model;
    QStringList room{QStringLiteral("自动")};
    QAction *automatic = m_menu->addChoice(QStringLiteral("自动"));
    QAction *chosen = automatic;
    connect(automatic, &QAction::triggered, this, [model] {
        if (model)
            model->select(std::nullopt);
    });
    m_menu->addSeparator();
    for (const auto &variant : m_model->variants()) {
        // Labels are our own words ("720p", "800kbps"), never the playlist's text.
        QAction *action = m_menu->addChoice(variant.label);
        room << variant.label;
        if (selected == variant)
            chosen = action;
        connect(action, &QAction::triggered, this, [model, variant] {
            if (model)
                model->select(variant);
        });
    }
    m_menu->setChosen(chosen);
    if (room != m_room) {
        m_room = room;
        updateGeometry();
    }
    setVisible(true);
}

}
