#include "views/player/latepads.h"
#include "views/player/elementhooks.h"

#include <QByteArray>


namespace tovra {

namespace {

bool hasCaps(GObject *pad)
{
    GParamSpec *spec = g_object_class_find_property(G_OBJECT_GET_CLASS(pad), "caps");
    // Not a pad as we know them: let its news through as it is.
    if (!spec)
        return true;
    gpointer caps = nullptr;
    g_object_get(pad, "caps", &caps, nullptr);
    if (!caps)
        return false;
    g_boxed_free(G_PARAM_SPEC_VALUE_TYPE(spec), caps);
    return true;
}

void freeDecoderRef(gpointer data, GClosure *)
{
    auto *decoder = static_cast<GWeakRef *>(data);
    g_weak_ref_clear(decoder);
    delete decoder;
}

// On the streaming thread, as the caps event reaches the pad: the news goes out again, now with
// something to read, before any buffer follows the caps.
void capsArrived(GObject *pad, GParamSpec *, gpointer data)
{
    if (!hasCaps(pad))
        return;
    auto *decoder = static_cast<GObject *>(g_weak_ref_get(static_cast<GWeakRef *>(data)));
    g_signal_handlers_disconnect_by_func(pad, gpointer(capsArrived), data);
    if (!decoder)
        return;
    g_signal_emit_by_name(decoder, "pad-added", pad);
    g_object_unref(decoder);
}

// Connected as the decoder joins the pipeline, before the player connects its own handler, so it
// runs first and can stop the emission.
void padAdded(GObject *decoder, GObject *pad, gpointer)
{
    if (hasCaps(pad))
        return;
    auto *ref = new GWeakRef;
    g_weak_ref_init(ref, decoder);
    g_signal_connect_data(pad, "notify::caps", G_CALLBACK(capsArrived), ref, freeDecoderRef, GConnectFlags(0));
    // The caps may have come while the watch was being set up.
    if (hasCaps(pad)) {
        g_signal_handlers_disconnect_by_func(pad, gpointer(capsArrived), ref);
        return;
    }
    g_signal_stop_emission_by_name(decoder, "pad-added");
}

gboolean noteDecoder(GSignalInvocationHint *, guint count, const GValue *values, gpointer)
{
    if (count < 3)
        return TRUE;
    auto *element = static_cast<GObject *>(g_value_get_object(&values[2]));
    // Every bin up the chain announces the same element: it is watched once.
    static const char kWatched[] = "tovra-late-pads";
    if (element && qstrcmp(G_OBJECT_TYPE_NAME(element), "GstURIDecodeBin") == 0 && !g_object_get_data(element, kWatched)) {
        g_object_set_data(element, kWatched, GINT_TO_POINTER(1));
        g_signal_connect(element, "pad-added", G_CALLBACK(padAdded), nullptr);
    }
    return TRUE;
}

}

void LatePads::watch()
{
    static const bool watching = hookAddedElements(noteDecoder);
    Q_UNUSED(watching);
}

}
