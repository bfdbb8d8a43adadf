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

}
