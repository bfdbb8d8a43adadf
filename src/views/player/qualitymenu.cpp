#include "views/player/qualitymenu.h"

#include "views/components/appearance.h"
#include "views/components/pointinghand.h"
#include "views/engine/qualitysource.h"
#include "views/icons.h"
#include "views/palette.h"

#include <QMenu>

namespace tovra {

QualityMenu::QualityMenu(QWidget *parent)
    : QToolButton(parent)
    , m_menu(new QMenu(this))
{
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
    if (!m_model || m_model->variants().size() < 2) {
        setVisible(false);
        return;
    }
    const auto &selected = m_model->selected();
    setIcon(Icons::icon(QStringLiteral("rectangle.3.group"), Palette::text()));
    setText(selected ? selected->label : QStringLiteral("自动"));
    const QIcon check = Icons::icon(QStringLiteral("checkmark"), Palette::text());

    QPointer<QualitySource> model = m_model;
    QAction *automatic = m_menu->addAction(QStringLiteral("自动"));
    if (!selected)
        automatic->setIcon(check);
    connect(automatic, &QAction::triggered, this, [model] {
        if (model)
            model->select(std::nullopt);
    });
    m_menu->addSeparator();
    for (const auto &variant : m_model->variants()) {
        // Labels are our own words ("720p", "800kbps"), never the playlist's text.
        QAction *action = m_menu->addAction(variant.label);
        if (selected == variant)
            action->setIcon(check);
        connect(action, &QAction::triggered, this, [model, variant] {
            if (model)
                model->select(variant);
        });
    }
    setVisible(true);
}

}
