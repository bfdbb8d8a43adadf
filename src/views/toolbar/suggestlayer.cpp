#include "views/toolbar/suggestlayer.h"

#include "views/toolbar/suggestpanel.h"

#include <QMouseEvent>
#include <QRegion>

namespace tovra {

SuggestLayer::SuggestLayer(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("suggestLayer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    m_panel = new SuggestPanel(this);
}

void SuggestLayer::place(const QRect &area, const QRect &hole, const QPoint &panelAt)
{
    setGeometry(area);
    const QRect localHole = hole.translated(-area.topLeft());
    setMask(QRegion(rect()).subtracted(QRegion(localHole)));
    m_panel->move(panelAt - area.topLeft());
}

void SuggestLayer::mousePressEvent(QMouseEvent *event)
{
    // A click anywhere but on the panel closes it, and goes no further.
    event->accept();
    emit dismissed();
}

}
