#pragma once

#include <QUrl>

namespace tovra {

// Reaches the HLS demuxer that the media backend (GStreamer) builds for a stream, to set the
// peak bit rate it may choose. Qt's player offers no such setting; without it a quality choice
// means a new source, which starts loading again from the first segment before it can seek.
class DemuxerCap
{
public:
    // Starts noting the HLS demuxers the backend makes; once per process, after the backend is
    // up (a media player exists). Does nothing on a backend other than GStreamer.
    static void watch();
    // Caps the variants of the stream playing `source` at bitsPerSecond (0: no cap, the player
    // chooses). False when no demuxer of that stream is known, so the caller must switch another
    // way.
    // The cap also holds for demuxers made for the same address later on, until forgotten.
    static bool cap(const QUrl &source, qint64 bitsPerSecond);
    static void forget(const QUrl &source);
};

}
