#include "views/toolbar/plaintooltip.h"

#include <QWidget>

namespace tovra {

QString plainToolTip(const QString &text)
{
    if (text.isEmpty())
        return {};
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void setPlainToolTip(QWidget *widget, const QString &text)
{
    widget->setToolTip(plainToolTip(text));
    widget->setAccessibleDescription(text);
}

}
