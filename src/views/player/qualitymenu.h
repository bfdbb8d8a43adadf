#pragma once

#include "views/engine/qualitysource.h"

#include <QPointer>
#include <QToolButton>

class QMenu;

namespace tovra {


// The quality button of the native player: "自动" or the chosen quality's name, with a menu of
// "自动" and the playlist's variants. Shown only while the model offers two choices or more.
class QualityMenu : public QToolButton
{
    Q_OBJECT
public:
    explicit QualityMenu(QWidget *parent = nullptr);

    // Follows the model's variants and choice; none hides the button.
    void setModel(QualitySource *model);
    QualitySource *model() const { return m_model; }
    QMenu *choices() const { return m_menu; }

private:
    void rebuild();

    QPointer<QualitySource> m_model;
    QMenu *m_menu = nullptr;
};

}
