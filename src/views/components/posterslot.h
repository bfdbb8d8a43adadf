#pragma once

#include "network/imageloader.h"
#include "views/components/cardpainter.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>

class QObject;

namespace tovra {

// The image state of one poster frame: which address, what is on show, what is on its way.
// Owners call request() when the frame is (about to be) on screen and drop() when it is far
// away, so only frames near the visible area hold images or downloads.
struct PosterSlot
{
    QString url;
    PosterVisual::State state = PosterVisual::State::Idle;
    QImage image;
    QSize decodedFor;               // the decode size image was made for
    ImageLoader::Ticket ticket = 0; // a load in flight
    QSize requested;                // the decode size of that load

    // Points the slot at an address; a new address forgets the old image and load.
    void setUrl(const QString &newUrl);
    bool isLoading() const { return ticket != 0; }
    bool needsShimmer() const { return state == PosterVisual::State::Idle || state == PosterVisual::State::Loading; }

    // Makes sure the slot shows, or is loading, an image good for decodeSize. done is called
    // with the result (the owner then calls finish()). Answers true when the slot changed at
    // once (from memory, or refused).
    bool request(QObject *receiver, const QSize &decodeSize, std::function<void(const QImage &)> done);
    void finish(const QImage &result);
    // Cancels the load and lets go of the image.
    void drop();
    // Cancels the load only; an image on show stays.
    void stopLoading();
    PosterVisual visual(qreal shimmerPhase) const;
};

}
