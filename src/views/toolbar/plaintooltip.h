#pragma once

#include <QString>

namespace tovra {

// Qt guesses whether a tooltip is rich text from its first characters, so a server name or a
// folder path that starts with a tag would be rendered as HTML. The text escaped inside a
// paragraph we wrote is always shown as the characters it holds.
QString plainToolTip(const QString &text);

}
