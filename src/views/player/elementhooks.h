#pragma once

#include <glib-object.h>

namespace tovra {

// Has hook called, on whichever thread adds it, with every element that any GStreamer bin of the
// process gains (its values: the bin, the sub-bin, the element; every bin up the chain announces
// the same element). The backend builds its pipelines out of our reach; this is how we see them.
// False before the backend is up (a media player exists), when GStreamer's types are unknown.
inline bool hookAddedElements(GSignalEmissionHook hook)
{
    const GType bin = g_type_from_name("GstBin");
    const guint signal = bin ? g_signal_lookup("deep-element-added", bin) : 0;
    if (signal)
        g_signal_add_emission_hook(signal, 0, hook, nullptr, nullptr);
    return signal != 0;
}

}
