#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

namespace tovra::samplesite {

// Draws the sample posters and avatars: a diagonal gradient whose colours follow from the seed,
// the first character of the caption large in the middle and the caption along the bottom.
// Needs a QGuiApplication (fonts).
class PosterPainter
{
public:
    static constexpr QSize kPosterSize{270, 400};
    static constexpr QSize kAvatarSize{160, 160};

    static QByteArray jpeg(const QString &caption, quint32 seed, QSize size = kPosterSize);
    static QByteArray png(const QString &caption, quint32 seed, QSize size = kAvatarSize);
};

}
