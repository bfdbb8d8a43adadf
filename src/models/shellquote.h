#pragma once

#include <QString>

namespace tovra {

// One shell word for any text: wrapped in single quotes, each "'" written as '\''. Paths shown
// for the user to paste into a terminal go through this, whatever characters they hold.
QString shellQuoted(const QString &text);

}
