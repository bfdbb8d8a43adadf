#pragma once

#include "views/engine/qualitysource.h"

#include <QPointer>
#include <QToolButton>

class QMenu;

namespace tovra {

class ChoiceMenu;

// The quality button of the native player: "自动" or the chosen quality's name, with a menu of
// "自动" and the playlist's variants. Shown only while the model offers two choices or more; its
// size is that of its largest choice, so a bar may keep its room while it is hidden
// (QSizePolicy::setRetainSizeWhenHidden) and nothing beside it moves when it shows or changes.
class QualityMenu : public QToolButton
{
    Q_OBJECT
public:
    explicit QualityMenu(QWidget *parent = nullptr);

    // Follows the model's variants and choice; none hides the button.
    void setModel(QualitySource *model);
    QualitySource *model() const { return m_model; }
    QMenu *choices() const;
    QSize sizeHint() const override;

private:
    void rebuild();
    QSize sizeFor(const QString &text) const;

    QPointer<QualitySource> m_model;
    ChoiceMenu *m_menu = nullptr;
    // The texts the button may show: before the variants are known, a CJK one and a Latin one.
    QStringList m_room{QStringLiteral("自动"), QStringLiteral("1080p")};
};

}
