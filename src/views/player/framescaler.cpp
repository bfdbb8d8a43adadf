#include "views/player/framescaler.h"

#include <QVideoFrameFormat>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <array>

namespace tovra {

namespace {

using Format = QVideoFrameFormat;

// QImage::Format_RGB32 in memory order.
constexpr AVPixelFormat kTarget = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;

AVPixelFormat sourceFormat(Format::PixelFormat format)
{
    switch (format) {
    case Format::Format_YUV420P:
    case Format::Format_YV12: return AV_PIX_FMT_YUV420P;
    case Format::Format_YUV422P: return AV_PIX_FMT_YUV422P;
    case Format::Format_NV12: return AV_PIX_FMT_NV12;
    case Format::Format_NV21: return AV_PIX_FMT_NV21;
    case Format::Format_UYVY: return AV_PIX_FMT_UYVY422;
    case Format::Format_YUYV: return AV_PIX_FMT_YUYV422;
    case Format::Format_P010: return AV_PIX_FMT_P010LE;
    case Format::Format_P016: return AV_PIX_FMT_P016LE;
    case Format::Format_YUV420P10: return AV_PIX_FMT_YUV420P10LE;
    case Format::Format_Y8: return AV_PIX_FMT_GRAY8;
    case Format::Format_Y16: return AV_PIX_FMT_GRAY16LE;
    // Qt names packed RGB by its 32-bit word, FFmpeg by byte order.
    case Format::Format_ARGB8888:
    case Format::Format_ARGB8888_Premultiplied: return AV_PIX_FMT_BGRA;
    case Format::Format_XRGB8888: return AV_PIX_FMT_BGR0;
    case Format::Format_BGRA8888:
    case Format::Format_BGRA8888_Premultiplied: return AV_PIX_FMT_ARGB;
    case Format::Format_BGRX8888: return AV_PIX_FMT_0RGB;
    case Format::Format_ABGR8888: return AV_PIX_FMT_RGBA;
    case Format::Format_XBGR8888: return AV_PIX_FMT_RGB0;
    case Format::Format_RGBA8888: return AV_PIX_FMT_ABGR;
    case Format::Format_RGBX8888: return AV_PIX_FMT_0BGR;
    default: return AV_PIX_FMT_NONE;
    }
}

bool isYuv(AVPixelFormat format)
{
    return format != AV_PIX_FMT_NONE && format != AV_PIX_FMT_BGRA && format != AV_PIX_FMT_BGR0 && format != AV_PIX_FMT_ARGB
        && format != AV_PIX_FMT_0RGB && format != AV_PIX_FMT_RGBA && format != AV_PIX_FMT_RGB0 && format != AV_PIX_FMT_ABGR
        && format != AV_PIX_FMT_0BGR;
}

int coefficients(Format::ColorSpace space)
{
    switch (space) {
    case Format::ColorSpace_BT709: return SWS_CS_ITU709;
    case Format::ColorSpace_BT2020: return SWS_CS_BT2020;
    default: return SWS_CS_ITU601;
    }
}

}

FrameScaler::Converter::Converter() = default;

FrameScaler::Converter::~Converter()
{
    sws_freeContext(m_context);
}

QImage FrameScaler::Converter::convert(const QVideoFrame &frame, QSize size)
{
    if (!frame.isValid() || size.isEmpty())
        return {};
    QVideoFrame source(frame);
    const Format format = source.surfaceFormat();
    const AVPixelFormat from = sourceFormat(format.pixelFormat());
    // Turned or mirrored frames are rare enough for Qt's own, slower, conversion.
    if (from == AV_PIX_FMT_NONE || source.mirrored() || source.rotationAngle() != QVideoFrame::Rotation0) {
        QImage whole = source.toImage();
        return whole.isNull() ? QImage() : whole.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
    }

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

    // Measured on 720p and 1080p frames: averaging is the cheapest way down and looks the best,
    // the fast bilinear filter the cheapest way up.
    const int filter = size.width() < source.width() ? SWS_AREA : SWS_FAST_BILINEAR;
    // A context made anew for other sizes starts with the default colours again.
    const std::array<int, 6> shape{source.width(), source.height(), int(from), size.width(), size.height(), filter};
    if (shape != m_shape) {
        m_shape = shape;
        m_colourKey = -1;
    }
    m_context = sws_getCachedContext(m_context, source.width(), source.height(), from, size.width(), size.height(), kTarget,
                                     filter, nullptr, nullptr, nullptr);
    if (!m_context || !source.map(QVideoFrame::ReadOnly))
        return {};
    if (isYuv(from)) {
        const bool full = format.colorRange() == Format::ColorRange_Full;
        const int key = coefficients(format.colorSpace()) * 2 + int(full);
        if (key != m_colourKey) {
            sws_setColorspaceDetails(m_context, sws_getCoefficients(key / 2), full, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                                     1 << 16);
            m_colourKey = key;
        }
    }
    std::array<const uint8_t *, 4> planes{};
    std::array<int, 4> strides{};
    for (int i = 0; i < std::min(source.planeCount(), 4); ++i) {
        planes[i] = source.bits(i);
        strides[i] = source.bytesPerLine(i);
    }
    if (format.pixelFormat() == Format::Format_YV12) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    uint8_t *out[4] = {target->bits(), nullptr, nullptr, nullptr};
    const int outStride[4] = {int(target->bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(m_context, planes.data(), strides.data(), 0, source.height(), out, outStride);
    source.unmap();
    return rows > 0 ? *target : QImage();
}

FrameScaler::FrameScaler(QObject *parent)
    : QObject(parent)
    , m_worker([this] { run(); })
{
}

FrameScaler::~FrameScaler()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

void FrameScaler::request(const QVideoFrame &frame, QSize size)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = frame;
        m_pendingSize = size;
        m_hasPending = true;
    }
    m_wake.notify_one();
}

void FrameScaler::run()
{
    Converter converter;
    for (;;) {
        QVideoFrame frame;
        QSize size;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_hasPending; });
            if (m_quit)
                return;
            frame = std::exchange(m_pending, QVideoFrame());
            size = m_pendingSize;
            m_hasPending = false;
        }
        QImage picture = converter.convert(frame, size);
        const qint64 startTime = frame.startTime();
        // Let the backend have its buffer back before the picture is drawn.
        frame = QVideoFrame();
        if (picture.isNull())
            continue;
        // Posted to this object: a scaler destroyed meanwhile takes the event with it.
        QMetaObject::invokeMethod(this, [this, picture = std::move(picture), startTime] { emit ready(picture, startTime); },
                                  Qt::QueuedConnection);
    }
}

}
