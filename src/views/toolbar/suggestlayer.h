#pragma once

#include <QRect>
#include <QWidget>

namespace tovra {

class SuggestPanel;

// What lies over the window while suggestions are shown: a transparent sheet over everything but
// the toolbar, which takes the click that closes the panel, with the panel itself on top. The
// toolbar stays uncovered so the field keeps taking keys and clicks.
class SuggestLayer : public QWidget
{
    Q_OBJECT
public:
    explicit SuggestLayer(QWidget *parent);

    SuggestPanel *panel() const { return m_panel; }
    // Covers area (in the parent's coordinates) except hole, and puts the panel's top-left
    // corner at panelAt (also in the parent's coordinates).
    void place(const QRect &area, const QRect &hole, const QPoint &panelAt);

signals:
    void dismissed();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    SuggestPanel *m_panel = nullptr;
};

}
