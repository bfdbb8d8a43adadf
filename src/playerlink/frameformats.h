#pragma once

// Only the enumeration: nothing of libavutil is linked for it.
extern "C" {
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <array>

namespace tovra::playerlink {

// The pixel formats the player writes into the ring, in libswscale's names. The player maps each
// decoded format to one of these or drops the picture; the client reads nothing else, whatever a
// frame's news names: a format libswscale reads through more than the planes the shape gives
// (a palette's, for PAL8) would have it read through a null pointer.
inline constexpr std::array kFrameFormats{
    AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_NV12,        AV_PIX_FMT_NV21,
    AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUYV422, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_P010LE, AV_PIX_FMT_GRAY8,
    AV_PIX_FMT_BGR0,    AV_PIX_FMT_BGRA,    AV_PIX_FMT_RGB0,    AV_PIX_FMT_RGBA,        AV_PIX_FMT_0RGB,
    AV_PIX_FMT_ARGB,    AV_PIX_FMT_0BGR,    AV_PIX_FMT_ABGR,
};

constexpr bool isFrameFormat(int format)
{
    return std::ranges::any_of(kFrameFormats, [format](AVPixelFormat listed) { return int(listed) == format; });
}

}
