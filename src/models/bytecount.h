#pragma once

#include <QString>

namespace tovra {

// A size on disk the way file managers write it: decimal units (1 KB = 1000 bytes), whole
// kilobytes, megabytes to one decimal and larger units to two, trailing zeros dropped.
QString formatByteCount(qint64 bytes);

}
