#include "models/bytecount.h"

#include <cmath>

namespace tovra {

namespace {
QString trimmedNumber(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}
}

QString formatByteCount(qint64 bytes)
{
    if (bytes <= 0)
        return QStringLiteral("0 KB");
    if (bytes < 1000)
        return QString::number(bytes) + QStringLiteral(" 字节");
    static constexpr const char *kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1000.0;
    int unit = 0;
    // Rounding decides the unit: 999,999 bytes is "1 MB", not "1000 KB".
    while (unit + 1 < int(std::size(kUnits))) {
        const int decimals = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
        const double scale = std::pow(10.0, decimals);
        if (std::round(value * scale) / scale < 1000.0)
            break;
        value /= 1000.0;
        ++unit;
    }
    const int decimals = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
    return trimmedNumber(value, decimals) + u' ' + QLatin1String(kUnits[unit]);
}

}
