#include "views/player/decoderloss.h"
#include "views/player/elementhooks.h"

#include <QByteArray>
#include <QMetaObject>

#include <atomic>

namespace tovra {

namespace {

// The caps' media type, read through GStreamer's own conversion to text: we reach the backend
// through GObject only.
QString mediaType(gpointer caps)
{
    const GType type = g_type_from_name("GstCaps");
    if (!caps || !type)
        return {};
    GValue boxed = G_VALUE_INIT;
    GValue text = G_VALUE_INIT;
    g_value_init(&boxed, type);
    g_value_set_boxed(&boxed, caps);
    g_value_init(&text, G_TYPE_STRING);
    QString result;
    if (g_value_transform(&boxed, &text))
        result = QString::fromUtf8(g_value_get_string(&text)).section(u',', 0, 0).trimmed();
    g_value_unset(&text);
    g_value_unset(&boxed);
    return result;
}

// On a streaming thread.
void unknownType(GObject *decoder, gpointer, gpointer caps, gpointer data)
{
    gchar *uri = nullptr;
    g_object_get(decoder, "uri", &uri, nullptr);
    const QByteArray source(uri);
    g_free(uri);
    DecoderLoss *loss = DecoderLoss::instance();
    const quint64 pipeline = GPOINTER_TO_SIZE(data);
    QMetaObject::invokeMethod(loss, [loss, source, pipeline, type = mediaType(caps)] { emit loss->lost(source, pipeline, type); },
                              Qt::QueuedConnection);
}

gboolean noteDecoder(GSignalInvocationHint *, guint count, const GValue *values, gpointer)
{
    if (count < 3)
        return TRUE;
    auto *element = static_cast<GObject *>(g_value_get_object(&values[2]));
    // Every bin up the chain announces the same element: it is watched once.
    static const char kWatched[] = "tovra-decoder-loss";
    // Pipelines are made one after another on the streaming threads of the one before.
    static std::atomic<quint64> made{0};
    if (element && qstrcmp(G_OBJECT_TYPE_NAME(element), "GstURIDecodeBin") == 0 && !g_object_get_data(element, kWatched)) {
        g_object_set_data(element, kWatched, GINT_TO_POINTER(1));
        g_signal_connect(element, "unknown-type", G_CALLBACK(unknownType), GSIZE_TO_POINTER(++made));
    }
    return TRUE;
}

}

DecoderLoss *DecoderLoss::instance()
{
    static DecoderLoss *const made = [] {
        auto *loss = new DecoderLoss;
        hookAddedElements(noteDecoder);
        return loss;
    }();
    return made;
}

}
