#include "pipeline/framewriter.h"

#include "playerlink/frameformats.h"

#include <algorithm>
#include <utility>
#include <cstring>

#include <gst/gst.h>
#include <gst/video/video.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace tovra {

namespace {

// The formats the video sink takes (its caps name the same list), in libswscale's names: the
// client's scaler reads them without GStreamer. Both name packed RGB by byte order.
constexpr std::pair<GstVideoFormat, AVPixelFormat> kFormats[] = {
    {GST_VIDEO_FORMAT_I420, AV_PIX_FMT_YUV420P},
    {GST_VIDEO_FORMAT_YV12, AV_PIX_FMT_YUV420P},
    {GST_VIDEO_FORMAT_Y42B, AV_PIX_FMT_YUV422P},
    {GST_VIDEO_FORMAT_Y444, AV_PIX_FMT_YUV444P},
    {GST_VIDEO_FORMAT_NV12, AV_PIX_FMT_NV12},
    {GST_VIDEO_FORMAT_NV21, AV_PIX_FMT_NV21},
    {GST_VIDEO_FORMAT_UYVY, AV_PIX_FMT_UYVY422},
    {GST_VIDEO_FORMAT_YUY2, AV_PIX_FMT_YUYV422},
    {GST_VIDEO_FORMAT_I420_10LE, AV_PIX_FMT_YUV420P10LE},
    {GST_VIDEO_FORMAT_P010_10LE, AV_PIX_FMT_P010LE},
    {GST_VIDEO_FORMAT_GRAY8, AV_PIX_FMT_GRAY8},
    {GST_VIDEO_FORMAT_BGRx, AV_PIX_FMT_BGR0},
    {GST_VIDEO_FORMAT_BGRA, AV_PIX_FMT_BGRA},
    {GST_VIDEO_FORMAT_RGBx, AV_PIX_FMT_RGB0},
    {GST_VIDEO_FORMAT_RGBA, AV_PIX_FMT_RGBA},
    {GST_VIDEO_FORMAT_xRGB, AV_PIX_FMT_0RGB},
    {GST_VIDEO_FORMAT_ARGB, AV_PIX_FMT_ARGB},
    {GST_VIDEO_FORMAT_xBGR, AV_PIX_FMT_0BGR},
    {GST_VIDEO_FORMAT_ABGR, AV_PIX_FMT_ABGR},
};
// The client refuses any other format (playerlink/frameformats.h).
static_assert(std::ranges::all_of(kFormats, [](const auto &format) { return playerlink::isFrameFormat(format.second); }));

AVPixelFormat sourceFormat(GstVideoFormat format)
{
    for (const auto &[gst, av] : kFormats) {
        if (gst == format)
            return av;
    }
    return AV_PIX_FMT_NONE;
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

constexpr std::size_t kPlaneAlign = 64;

}

std::optional<FrameWriter::Written> FrameWriter::write(GstSample *sample)
{
    Written written;
    FrameShape &shape = written.shape;
    GstCaps *caps = gst_sample_get_caps(sample);
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return std::nullopt;
    const AVPixelFormat format = sourceFormat(GST_VIDEO_INFO_FORMAT(&info));
    if (format == AV_PIX_FMT_NONE)
        return std::nullopt;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return std::nullopt;
    shape.width = GST_VIDEO_FRAME_WIDTH(&frame);
    shape.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    shape.pixelFormat = format;
    shape.planes = int(GST_VIDEO_FRAME_N_PLANES(&frame));
    shape.yuv = GST_VIDEO_INFO_IS_YUV(&info);
    shape.fullRange = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    shape.colourMatrix = coefficients(info.colorimetry.matrix);
    std::array<std::size_t, 4> bytes{};
    std::array<std::size_t, 4> placed{};
    std::size_t total = 0;
    for (int p = 0; p < shape.planes; ++p) {
        gint components[GST_VIDEO_MAX_COMPONENTS];
        gst_video_format_info_component(info.finfo, guint(p), components);
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p);
        const int rows = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, components[0]);
        const int rowBytes = GST_VIDEO_FRAME_COMP_WIDTH(&frame, components[0]) * GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, components[0]);
        // The last row is only as long as the picture: a decoder's buffer need not hold a whole
        // stride after it.
        bytes[p] = rows > 0 ? std::size_t(stride) * std::size_t(rows - 1) + std::size_t(rowBytes) : 0;
        shape.strides[p] = stride;
        shape.offsets[p] = qint32(total);
        placed[p] = total;
        total += (bytes[p] + kPlaneAlign - 1) / kPlaneAlign * kPlaneAlign;
    }
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_YV12) {
        std::swap(shape.offsets[1], shape.offsets[2]);
        std::swap(shape.strides[1], shape.strides[2]);
    }
    if (!m_ring || m_ring->slotBytes() < total) {
        // A larger picture than the ring was made for: a new ring, which the client maps as it
        // hears of it; the old one goes once the client lets go of its last picture there.
        m_ring = FrameRing::create(total);
        if (!m_ring) {
            gst_video_frame_unmap(&frame);
            return std::nullopt;
        }
        ++m_ringId;
        written.newRing = true;
    }
    const std::optional<int> free = m_ring->acquire();
    if (!free) {
        gst_video_frame_unmap(&frame);
        return std::nullopt;
    }
    const int slot = *free;
    std::uint8_t *into = m_ring->slot(slot);
    for (int p = 0; p < shape.planes; ++p)
        std::memcpy(into + placed[p], GST_VIDEO_FRAME_PLANE_DATA(&frame, p), bytes[p]);
    gst_video_frame_unmap(&frame);
    written.ring = m_ring;
    written.ringId = m_ringId;
    written.slot = slot;
    written.serial = m_ring->publish(slot);
    return written;
}

}
