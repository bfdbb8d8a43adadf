#pragma once

#include "models/hlsplaylist.h"

#include <QList>
#include <QObject>
#include <optional>

namespace tovra {

// What the quality button reads from one native playback: the playlist's variants and the choice.
class QualitySource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual const QList<hls::Variant> &variants() const = 0;
    virtual const std::optional<hls::Variant> &selected() const = 0;
    // None is "自动".
    virtual void select(std::optional<hls::Variant> variant) = 0;

signals:
    void variantsChanged();
    void selectedChanged();
};

}
