#include "views/player/demuxercap.h"
#include "views/player/elementhooks.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <list>

namespace tovra {

namespace {

// Demuxers are made on the backend's streaming threads and die with their pipeline: they are
// held weakly, under a lock.
QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

std::list<GWeakRef> &demuxers()
{
    static std::list<GWeakRef> list;
    return list;
}

// The cap chosen for each stream, which a demuxer made for it later (the stream opened again)
// takes as it is made.
QHash<QByteArray, qint64> &chosen()
{
    static QHash<QByteArray, qint64> caps;
    return caps;
}

QByteArray sourceOf(GObject *element);
void setCap(GObject *demuxer, qint64 bitsPerSecond);

// Calls visit with each demuxer still alive, forgetting those that are gone, until visit answers
// true; answers whether it did. The caller holds the lock.
template <typename Visit>
bool visitLive(Visit visit)
{
    for (auto it = demuxers().begin(); it != demuxers().end();) {
        auto *object = static_cast<GObject *>(g_weak_ref_get(&*it));
        if (!object) {
            g_weak_ref_clear(&*it);
            it = demuxers().erase(it);
            continue;
        }
        const bool stop = visit(object);
        g_object_unref(object);
        if (stop)
            return true;
        ++it;
    }
    return false;
}

bool isHlsDemuxer(GObject *object)
{
    const char *type = G_OBJECT_TYPE_NAME(object);
    return qstrcmp(type, "GstHLSDemux") == 0 || qstrcmp(type, "GstHLSDemux2") == 0;
}

// Every bin up the chain announces the same element: it is noted once.
gboolean noteElement(GSignalInvocationHint *, guint count, const GValue *values, gpointer)
{
    if (count < 3)
        return TRUE;
    auto *element = static_cast<GObject *>(g_value_get_object(&values[2]));
    if (!element || !isHlsDemuxer(element))
        return TRUE;
    QMutexLocker locker(&lock());
    if (!visitLive([element](GObject *known) { return known == element; })) {
        g_weak_ref_init(&demuxers().emplace_back(), element);
        if (!chosen().isEmpty()) {
            if (const auto it = chosen().constFind(sourceOf(element)); it != chosen().constEnd())
                setCap(element, *it);
        }
    }
    return TRUE;
}

// The address the element's pipeline plays: the "uri" of the nearest enclosing element that
// has one (Qt's uridecodebin).
QByteArray sourceOf(GObject *element)
{
    QByteArray uri;
    GObject *at = G_OBJECT(g_object_ref(element));
    while (at && uri.isEmpty()) {
        if (at != element && g_object_class_find_property(G_OBJECT_GET_CLASS(at), "uri")) {
            gchar *text = nullptr;
            g_object_get(at, "uri", &text, nullptr);
            uri = QByteArray(text);
            g_free(text);
        }
        GObject *parent = nullptr;
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(at), "parent"))
            g_object_get(at, "parent", &parent, nullptr);
        g_object_unref(at);
        at = parent;
    }
    if (at)
        g_object_unref(at);
    return uri;
}

void setCap(GObject *demuxer, qint64 bitsPerSecond)
{
    GObjectClass *type = G_OBJECT_GET_CLASS(demuxer);
    const guint bits = guint(std::clamp<qint64>(bitsPerSecond, 0, G_MAXUINT));
    if (g_object_class_find_property(type, "max-bitrate")) {
        g_object_set(demuxer, "max-bitrate", bits, nullptr);
    } else if (g_object_class_find_property(type, "connection-speed")) {
        // The older demuxer has no cap, only a fixed connection speed in kbit/s, with which it
        // takes the best variant not above it: the chosen one, rounded up so it still fits.
        g_object_set(demuxer, "connection-speed", guint((bits + 999) / 1000), nullptr);
    }
}

}

void DemuxerCap::watch()
{
    static const bool watching = hookAddedElements(noteElement);
    Q_UNUSED(watching);
}

bool DemuxerCap::cap(const QUrl &source, qint64 bitsPerSecond)
{
    const QByteArray wanted = source.toEncoded();
    bool found = false;
    QMutexLocker locker(&lock());
    if (bitsPerSecond > 0)
        chosen().insert(wanted, bitsPerSecond);
    else
        chosen().remove(wanted);
    visitLive([&](GObject *demuxer) {
        if (sourceOf(demuxer) == wanted) {
            setCap(demuxer, bitsPerSecond);
            found = true;
        }
        return false;
    });
    return found;
}

void DemuxerCap::forget(const QUrl &source)
{
    QMutexLocker locker(&lock());
    chosen().remove(source.toEncoded());
}

}
