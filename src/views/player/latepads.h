#pragma once

namespace tovra {

// Holds back the news of a decoder's stream until the stream says what it carries. When the
// HLS demuxer moves to another variant or a seek starts a new group of streams, the decoder
// can announce a stream before its caps are known; Qt 6.4's GStreamer player reads the caps at
// that moment, finds none, logs "Ignoring unknown media stream" and never links it: when that
// stream is the video, the picture stops while the sound and the position go on. Here such an
// announcement is stopped before Qt's handler sees it and made again once the caps are set.
class LatePads
{
public:
    // Once per process, after the backend is up (a media player exists). Does nothing on a
    // backend other than GStreamer.
    static void watch();
};

}
