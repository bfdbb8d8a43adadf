#pragma once

#include <QMenu>

class QActionGroup;

namespace tovra {

// The menu of a player button that offers one of many (the quality, the playback speed): it
// opens inside the button's window, and the chosen entry carries the check-mark symbol in the
// appearance's text colour. The entries are checkable so that a screen reader hears which one
// is chosen; on screen the symbol says it, so the style draws no box or radio beside them.
class ChoiceMenu : public QMenu
{
public:
    explicit ChoiceMenu(QWidget *parent = nullptr);

    // One entry of the group; picking the chosen one again leaves it chosen.
    QAction *addChoice(const QString &text);
    // Moves the check mark to `chosen` (null: to none).
    void setChosen(QAction *chosen);
    QAction *chosen() const;

protected:
    void showEvent(QShowEvent *event) override;
    void initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const override;

private:
    void markChosen();

    QActionGroup *m_group = nullptr;
};

}
