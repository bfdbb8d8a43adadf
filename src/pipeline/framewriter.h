#pragma once

#include "playerlink/framering.h"

#include <QtGlobal>
#include <memory>
#include <optional>

typedef struct _GstSample GstSample;

namespace tovra {

// Copies decoded pictures into a frame ring for the client, once each: the only copy a picture
// goes through between the decoder and the client's scaler. Keeps the decoder's strides, and
// names the format and colours as libswscale does.
class FrameWriter
{
public:
    struct Written
    {
        std::shared_ptr<FrameRing> ring;
        quint32 ringId = 0;
        // The ring was made for this picture: the client must hear of it before of the picture.
        bool newRing = false;
        int slot = -1;
        quint64 serial = 0;
        FrameShape shape;
    };

    // None when the picture is not one the scaler reads, or the client holds every slot.
    std::optional<Written> write(GstSample *sample);
    // The client never heard of the current ring: the next picture makes a new one.
    void forgetRing() { m_ring.reset(); }

private:
    std::shared_ptr<FrameRing> m_ring;
    quint32 m_ringId = 0;
};

}
