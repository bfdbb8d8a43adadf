#include "views/player/framescaler.h"

#include <gst/gst.h>
#include <gst/video/video.h>

extern "C" {
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

// The formats the video sink takes (its caps name the same list); the pipeline converts anything
// else before it gets here. Both name packed RGB by byte order.
AVPixelFormat sourceFormat(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12: return AV_PIX_FMT_YUV420P;
    case GST_VIDEO_FORMAT_Y42B: return AV_PIX_FMT_YUV422P;
    case GST_VIDEO_FORMAT_Y444: return AV_PIX_FMT_YUV444P;
    case GST_VIDEO_FORMAT_NV12: return AV_PIX_FMT_NV12;
    case GST_VIDEO_FORMAT_NV21: return AV_PIX_FMT_NV21;
    case GST_VIDEO_FORMAT_UYVY: return AV_PIX_FMT_UYVY422;
    case GST_VIDEO_FORMAT_YUY2: return AV_PIX_FMT_YUYV422;
    case GST_VIDEO_FORMAT_I420_10LE: return AV_PIX_FMT_YUV420P10LE;
    case GST_VIDEO_FORMAT_P010_10LE: return AV_PIX_FMT_P010LE;
    case GST_VIDEO_FORMAT_GRAY8: return AV_PIX_FMT_GRAY8;
    case GST_VIDEO_FORMAT_BGRx: return AV_PIX_FMT_BGR0;
    case GST_VIDEO_FORMAT_BGRA: return AV_PIX_FMT_BGRA;
    case GST_VIDEO_FORMAT_RGBx: return AV_PIX_FMT_RGB0;
    case GST_VIDEO_FORMAT_RGBA: return AV_PIX_FMT_RGBA;
    case GST_VIDEO_FORMAT_xRGB: return AV_PIX_FMT_0RGB;
    case GST_VIDEO_FORMAT_ARGB: return AV_PIX_FMT_ARGB;
    case GST_VIDEO_FORMAT_xBGR: return AV_PIX_FMT_0BGR;
    case GST_VIDEO_FORMAT_ABGR: return AV_PIX_FMT_ABGR;
    default: return AV_PIX_FMT_NONE;
    }
}

int coefficients(GstVideoColorMatrix matrix)
{
    switch (matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT709: return SWS_CS_ITU709;
    case GST_VIDEO_COLOR_MATRIX_BT2020: return SWS_CS_BT2020;
    case GST_VIDEO_COLOR_MATRIX_SMPTE240M: return SWS_CS_SMPTE240M;
    case GST_VIDEO_COLOR_MATRIX_FCC: return SWS_CS_FCC;
    default: return SWS_CS_ITU601;
    }
}

}

VideoFrame VideoFrame::fromSample(GstSample *sample, qint64 streamTimeUs)
{
    VideoFrame frame;
    GstCaps *caps = sample ? gst_sample_get_caps(sample) : nullptr;
    if (!caps || !gst_sample_get_buffer(sample) || !gst_video_info_from_caps(&frame.m_info, caps))
        return {};
    frame.m_sample.reset(gst_sample_ref(sample), [](GstSample *s) { gst_sample_unref(s); });
    frame.m_streamTime = streamTimeUs;
    return frame;
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
    const GstVideoInfo &info = frame.info();
    const AVPixelFormat from = sourceFormat(GST_VIDEO_INFO_FORMAT(&info));
    if (from == AV_PIX_FMT_NONE)
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

    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    // Measured on 720p and 1080p frames: averaging is the cheapest way down and looks the best,
    // the fast bilinear filter the cheapest way up.
    const int filter = size.width() < width ? SWS_AREA : SWS_FAST_BILINEAR;
    // A context made anew for other sizes starts with the default colours again.
    const std::array<int, 6> shape{width, height, int(from), size.width(), size.height(), filter};
    if (shape != m_shape) {
        m_shape = shape;
        m_colourKey = -1;
    }
    m_context = sws_getCachedContext(m_context, width, height, from, size.width(), size.height(), kTarget, filter, nullptr,
                                     nullptr, nullptr);
    if (!m_context)
        return {};
    if (GST_VIDEO_INFO_IS_YUV(&info)) {
        const bool full = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
        const int key = coefficients(info.colorimetry.matrix) * 2 + int(full);
        if (key != m_colourKey) {
            sws_setColorspaceDetails(m_context, sws_getCoefficients(key / 2), full, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                                     1 << 16);
            m_colourKey = key;
        }
    }
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, const_cast<GstVideoInfo *>(&info), gst_sample_get_buffer(frame.sample()), GST_MAP_READ))
        return {};
    std::array<const uint8_t *, 4> planes{};
    std::array<int, 4> strides{};
    for (guint i = 0; i < std::min<guint>(GST_VIDEO_FRAME_N_PLANES(&mapped), 4); ++i) {
        planes[i] = static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, i));
        strides[i] = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, i);
    }
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_YV12) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    uint8_t *out[4] = {target->bits(), nullptr, nullptr, nullptr};
    const int outStride[4] = {int(target->bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(m_context, planes.data(), strides.data(), 0, height, out, outStride);
    gst_video_frame_unmap(&mapped);
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
        // The decoder may have its buffer back before the picture is drawn.
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
