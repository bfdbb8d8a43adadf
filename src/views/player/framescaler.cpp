#include "views/player/framescaler.h"

#include "playerlink/frameformats.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tovra {

namespace {

// QImage::Format_RGB32 in memory order.
constexpr AVPixelFormat kTarget = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;

}

bool FrameScaler::Converter::fitsSlot(const FrameShape &shape, std::size_t slotBytes)
{
    // Only what the player writes: libswscale reads some formats through planes a shape does not
    // name (PAL8's palette), and would fault this thread on them.
    if (!playerlink::isFrameFormat(shape.pixelFormat))
        return false;
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(shape.pixelFormat));
    if (!desc || shape.planes != av_pix_fmt_count_planes(AVPixelFormat(shape.pixelFormat)) || shape.planes > 4)
        return false;
    for (int p = 0; p < shape.planes; ++p) {
        const int rowBytes = av_image_get_linesize(AVPixelFormat(shape.pixelFormat), shape.width, p);
        // Chroma planes of subsampled formats have fewer rows, rounded up.
        const bool chroma = (p == 1 || p == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        const qint64 rows = chroma ? -((-qint64(shape.height)) >> desc->log2_chroma_h) : shape.height;
        if (rowBytes <= 0 || shape.strides[p] < rowBytes || shape.offsets[p] < 0)
            return false;
        const qint64 end = qint64(shape.offsets[p]) + qint64(shape.strides[p]) * (rows - 1) + rowBytes;
        if (end > qint64(slotBytes))
            return false;
    }
    return true;
}

FrameScaler::Converter::Converter() = default;

FrameScaler::Converter::~Converter()
{
    sws_freeContext(m_context);
}

QImage FrameScaler::Converter::convert(const VideoFrame &frame, QSize size)
{
    if (!frame.isValid() || size.isEmpty())
        return {};
    const FrameShape &shape = frame.shape();
    const AVPixelFormat from = AVPixelFormat(shape.pixelFormat);
    if (!fitsSlot(shape, frame.slotBytes()))
        return {};

    // A picture the GUI thread has let go of is written again rather than a new one allocated:
    // a 1080p picture is 8 MB, and fresh memory of that size costs page faults every frame.
    QImage *target = nullptr;
    for (QImage &spare : m_spare) {
        if (spare.size() == size && spare.isDetached()) {
            target = &spare;
            break;
        }
    }
    if (!target) {
        target = &m_spare[0];
        for (QImage &spare : m_spare) {
            if (spare.isNull() || spare.isDetached()) {
                target = &spare;
                break;
            }
        }
        *target = QImage(size, QImage::Format_RGB32);
        if (target->isNull())
            return {};
    }

    const int width = shape.width;
    const int height = shape.height;
    // Measured on 720p and 1080p frames: averaging is the cheapest way down and looks the best,
    // the fast bilinear filter the cheapest way up.
    const int filter = size.width() < width ? SWS_AREA : SWS_FAST_BILINEAR;
    // A context made anew for other sizes starts with the default colours again.
    const std::array<int, 6> key{width, height, int(from), size.width(), size.height(), filter};
    if (key != m_shape) {
        m_shape = key;
        m_colourKey = -1;
    }
    m_context = sws_getCachedContext(m_context, width, height, from, size.width(), size.height(), kTarget, filter, nullptr,
                                     nullptr, nullptr);
    if (!m_context)
        return {};
    if (shape.yuv) {
        const bool full = shape.fullRange;
        const int key = shape.colourMatrix * 2 + int(full);
        if (key != m_colourKey) {
            sws_setColorspaceDetails(m_context, sws_getCoefficients(key / 2), full, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                                     1 << 16);
            m_colourKey = key;
        }
    }
    std::array<const uint8_t *, 4> planes{};
    std::array<int, 4> strides{};
    for (int i = 0; i < shape.planes; ++i) {
        planes[i] = frame.plane(i);
        strides[i] = shape.strides[i];
    }
    uint8_t *out[4] = {target->bits(), nullptr, nullptr, nullptr};
    const int outStride[4] = {int(target->bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(m_context, planes.data(), strides.data(), 0, height, out, outStride);
    return rows > 0 ? *target : QImage();
}

QSize FrameScaler::fitted(QSize frame, QSize bounds)
{
    if (frame.isEmpty() || bounds.isEmpty())
        return {};
    QSize size = frame.scaled(bounds, Qt::KeepAspectRatio);
    size.setWidth(std::max(2, size.width() & ~1));
    size.setHeight(std::max(1, size.height()));
    return size;
}

// What the worker shares with its scaler. The scaler goes without waiting for the worker, which
// may be in the middle of a picture: the worker posts to the scaler only while it is there, under
// the lock the scaler takes to go.
struct FrameScaler::State
{
    std::mutex mutex;
    std::condition_variable wake;
    FrameScaler *owner = nullptr;
    VideoFrame pending;
    VideoFrame last;
    QSize bounds;
    bool hasPending = false;
};

FrameScaler::FrameScaler(QObject *parent)
    : QObject(parent)
    , m_state(std::make_shared<State>())
{
    m_state->owner = this;
    std::thread([state = m_state] { run(state); }).detach();
}

FrameScaler::~FrameScaler()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->owner = nullptr;
    }
    m_state->wake.notify_one();
}

void FrameScaler::request(const VideoFrame &frame)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->pending = frame;
        m_state->last = frame;
        m_state->hasPending = true;
    }
    m_state->wake.notify_one();
}

void FrameScaler::setBounds(QSize bounds)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->bounds == bounds)
            return;
        m_state->bounds = bounds;
        if (!m_state->last.isValid())
            return;
        if (!m_state->hasPending)
            m_state->pending = m_state->last;
        m_state->hasPending = true;
    }
    m_state->wake.notify_one();
}

VideoFrame FrameScaler::lastFrame() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->last;
}

void FrameScaler::run(const std::shared_ptr<State> &state)
{
    Converter converter;
    for (;;) {
        VideoFrame frame;
        QSize bounds;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return !state->owner || state->hasPending; });
            if (!state->owner)
                return;
            frame = std::exchange(state->pending, VideoFrame());
            bounds = state->bounds;
            state->hasPending = false;
        }
        const QSize frameSize = frame.size();
        QImage picture = converter.convert(frame, fitted(frameSize, bounds));
        const qint64 streamTime = frame.streamTime();
        // The player may have its slot back before the picture is drawn.
        frame = VideoFrame();
        if (picture.isNull())
            continue;
        std::lock_guard lock(state->mutex);
        // Posted to the scaler: one destroyed before it comes takes the event with it.
        if (FrameScaler *owner = state->owner)
            QMetaObject::invokeMethod(
                owner, [owner, picture = std::move(picture), streamTime, frameSize] { emit owner->ready(picture, streamTime, frameSize); },
                Qt::QueuedConnection);
    }
}

}
