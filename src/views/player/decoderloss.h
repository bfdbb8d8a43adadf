#pragma once

#include <QObject>
#include <QUrl>

namespace tovra {

// Tells when the backend's decoder drops a track of a stream as having no decoder. GStreamer
// 1.22's decodebin does so for a track it can decode when a seek's flush reaches the decoder it
// is setting up before the track's caps do: a quality change or a resume meeting the demuxer's
// own switch of variant. That pipeline has then lost the picture or the sound for good, and
// the position stops too.
class DecoderLoss : public QObject
{
    Q_OBJECT
public:
    // Made with the first call, on the GUI thread, once the backend is up (a media player
    // exists). Reports nothing on a backend other than GStreamer.
    static DecoderLoss *instance();

signals:
    // On the GUI thread: the pipeline playing `source` dropped a track of `mediaType`
    // ("video/x-h264", say). `pipeline` numbers the backend's pipelines in the order they
    // were made, so news of one already let go can be told apart: it may come more than once.
    void lost(const QByteArray &source, quint64 pipeline, const QString &mediaType);

private:
    DecoderLoss() = default;
};

}
