#include "views/components/posterslot.h"

#include "models/webaddress.h"

#include <QUrl>

namespace tovra {

void PosterSlot::setUrl(const QString &newUrl)
{
    if (newUrl == url)
        return;
    drop();
    url = newUrl;
    state = PosterVisual::State::Idle;
}

bool PosterSlot::request(QObject *receiver, const QSize &decodeSize, std::function<void(const QImage &)> done)
{
    if (state == PosterVisual::State::Failed)
        return false;
    const auto covers = [&decodeSize](const QSize &s) {
        return s.width() >= decodeSize.width() && s.height() >= decodeSize.height();
    };
    // A bigger image than needed is fine (the frame shrank); a smaller one is replaced once a
    // better one arrives, and stays on show meanwhile.
    if (state == PosterVisual::State::Ready && covers(decodedFor))
        return false;
    if (ticket && covers(requested))
        return false;

    ImageLoader *loader = ImageLoader::shared();
    const QUrl address(url);
    if (!loader || !isWebAddress(address)) {
        state = PosterVisual::State::Failed;
        return true;
    }
    const QImage hit = loader->cached(address, decodeSize);
    if (!hit.isNull()) {
        if (ticket)
            loader->cancel(ticket);
        ticket = 0;
        image = hit;
        decodedFor = decodeSize;
        state = PosterVisual::State::Ready;
        return true;
    }
    if (ticket)
        loader->cancel(ticket);
    requested = decodeSize;
    ticket = loader->load(address, receiver, std::move(done), decodeSize);
    if (state != PosterVisual::State::Ready)
        state = PosterVisual::State::Loading;
    return false;
}

void PosterSlot::finish(const QImage &result)
{
    ticket = 0;
    if (!result.isNull()) {
        image = result;
        decodedFor = requested;
        state = PosterVisual::State::Ready;
    } else if (state != PosterVisual::State::Ready) {
        state = PosterVisual::State::Failed;
    }
}

void PosterSlot::drop()
{
    if (ticket) {
        if (ImageLoader *loader = ImageLoader::shared())
            loader->cancel(ticket);
        ticket = 0;
    }
    image = QImage();
    decodedFor = QSize();
    if (state != PosterVisual::State::Failed)
        state = PosterVisual::State::Idle;
}

void PosterSlot::stopLoading()
{
    if (!ticket)
        return;
    if (ImageLoader *loader = ImageLoader::shared())
        loader->cancel(ticket);
    ticket = 0;
    if (state == PosterVisual::State::Loading)
        state = PosterVisual::State::Idle;
}

PosterVisual PosterSlot::visual(qreal shimmerPhase) const
{
    PosterVisual v;
    v.state = state;
    v.image = image;
    v.shimmerPhase = shimmerPhase;
    return v;
}

}
