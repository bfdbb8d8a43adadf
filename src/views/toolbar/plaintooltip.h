#pragma once

#include <QString>

class QWidget;

namespace tovra {

// Qt guesses whether a tooltip is rich text from its first characters, so a server name or a
// folder path that starts with a tag would be rendered as HTML. The text escaped inside a
// paragraph we wrote is always shown as the characters it holds.
QString plainToolTip(const QString &text);

// Sets the tooltip as above and the accessible description to the same text, unwrapped: a
// screen reader reads the tooltip as the description when none is set, paragraph tags and all.
void setPlainToolTip(QWidget *widget, const QString &text);

}
