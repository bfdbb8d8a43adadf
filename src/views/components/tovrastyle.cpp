#include "views/components/tovrastyle.h"

#include "views/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

namespace tovra {

TovraStyle::TovraStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

QIcon TovraStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                               const QWidget *widget) const
{
    if (standardIcon == SP_ToolBarHorizontalExtensionButton || standardIcon == SP_ToolBarVerticalExtensionButton) {
        const QPalette &pal = option ? option->palette : widget ? widget->palette() : QPalette();
        return Icons::icon(standardIcon == SP_ToolBarHorizontalExtensionButton ? QStringLiteral("chevron.right")
                                                                                : QStringLiteral("chevron.down"),
                           pal.color(QPalette::ButtonText));
    }
    return QProxyStyle::standardIcon(standardIcon, option, widget);
}

void TovraStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    if (element != PE_IndicatorCheckBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QPalette &pal = option->palette;
    const bool enabled = option->state & State_Enabled;
    const bool checked = option->state & (State_On | State_NoChange);
    const QRectF box = QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (checked) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(enabled ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid));
        painter->drawRoundedRect(box, 3, 3);
        QPen tick(pal.color(QPalette::HighlightedText), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter->setPen(tick);
        painter->setBrush(Qt::NoBrush);
        if (option->state & State_NoChange) {
            painter->drawLine(QPointF(box.left() + box.width() * 0.25, box.center().y()),
                              QPointF(box.right() - box.width() * 0.25, box.center().y()));
        } else {
            QPainterPath mark;
            mark.moveTo(box.left() + box.width() * 0.22, box.top() + box.height() * 0.52);
            mark.lineTo(box.left() + box.width() * 0.43, box.top() + box.height() * 0.72);
            mark.lineTo(box.left() + box.width() * 0.78, box.top() + box.height() * 0.30);
            painter->drawPath(mark);
        }
    } else {
        QColor frame = pal.color(QPalette::PlaceholderText);
        if (!enabled)
            frame.setAlphaF(0.5f);
        painter->setPen(QPen(frame, 1.2));
        painter->setBrush(pal.color(QPalette::Base));
        painter->drawRoundedRect(box, 3, 3);
    }
    painter->restore();
}

}
