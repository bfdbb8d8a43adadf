#pragma once

#include <gst/gst.h>

namespace tovra {

// The playbin's sinks, each in a bin of ours that decides when it takes a speed change made in
// place (sinkbin.cpp). Both return a floating reference, as gst_element_factory_make does.
// `sink` is the picture sink.
GstElement *makePictureBin(GstElement *sink);
// `sink` is the desktop's sound sink; `pictureBin` one made by makePictureBin, referenced for the
// bin's life.
GstElement *makeSoundBin(GstElement *sink, GstElement *pictureBin);
// Waits, a moment at most, until the sinks have taken every speed change handed out so far. A
// flushing seek through the pipeline waits for this first: a change taken after its flush would
// apply to its segment. Past the wait the seek goes on all the same, and its flush drops the rest.
void settleSpeedChanges(GstElement *soundBin);
// The desktop's sound sink in the sound bin (autoaudiosink's child), referenced; null while the
// bin has none yet.
GstElement *audioSinkIn(GstElement *soundBin);
// The sound sink's stream clock reads further on than `lived` (how long its pipeline has run,
// and some), which no stream of this player can have played: its count is lost. libpulse 16.1
// (Debian 12) makes that now and then: its stream clock, read just after the stream starts again
// (every seek), can wrap to 10^9 s or more, and holds that for the stream's life. The sound sink
// then drops or misplaces every sample, and the picture stands once what was queued is shown.
bool soundClockLost(GstElement *audioSink, GstClockTime lived);
// The sound sink ends its stream with the sound server and starts a new one with the next sample.
// It waits for a preroll meanwhile: a flushing seek brings one.
void renewSoundStream(GstElement *audioSink);

}
