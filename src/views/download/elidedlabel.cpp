#include "views/download/elidedlabel.h"

#include <QResizeEvent>

namespace tovra {

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : QLabel(parent), m_full(text)
{
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setText(text);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {40, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_full, Qt::ElideMiddle, qMax(0, contentsRect().width()));
    if (shown != text())
        setText(shown);
}

}
