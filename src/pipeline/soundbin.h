#pragma once

#include <gst/gst.h>

namespace tovra {

// The playbin's sound sink: `sink` (the desktop's sound sink) in a bin that takes a speed change
// from the picture's side when the play slows down. `pictureSink` is the pipeline's picture sink,
// referenced for the bin's life. Returns a floating reference, as gst_element_factory_make does.
GstElement *makeSoundBin(GstElement *sink, GstElement *pictureSink);

}
