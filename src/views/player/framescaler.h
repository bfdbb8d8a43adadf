#pragma once

#include <QImage>
#include <QObject>
#include <array>
#include <memory>

#include <gst/video/video-info.h>

struct SwsContext;
typedef struct _GstSample GstSample;

namespace tovra {

// One decoded picture as the pipeline's video sink hands it over: the sample (its buffer stays
// the decoder's until the last copy goes), its shape and colours, and its place on the stream's
// clock. Copies share the sample; any thread may hold one.
class VideoFrame
{
public:
    VideoFrame() = default;
    // Takes a reference of its own; a sample without a buffer or readable caps makes no frame.
    static VideoFrame fromSample(GstSample *sample, qint64 streamTimeUs);

    bool isValid() const { return m_sample != nullptr; }
    QSize size() const { return isValid() ? QSize(GST_VIDEO_INFO_WIDTH(&m_info), GST_VIDEO_INFO_HEIGHT(&m_info)) : QSize(); }
    const GstVideoInfo &info() const { return m_info; }
    GstSample *sample() const { return m_sample.get(); }
    // Microseconds of stream time: 0 is the stream's start, as the position bar counts.
    qint64 streamTime() const { return m_streamTime; }

private:
    std::shared_ptr<GstSample> m_sample;
    GstVideoInfo m_info{};
    qint64 m_streamTime = -1;
};

// Turns decoded frames into pictures at the size they are shown, on a thread of its own: the
// colour conversion and the scaling are one SIMD pass of libswscale written straight at the size
// shown, so the GUI thread only copies the finished picture into the window. Frames come from
// the pipeline's streaming thread, which must never wait for us.
class FrameScaler : public QObject
{
    Q_OBJECT
public:
    explicit FrameScaler(QObject *parent = nullptr);
    ~FrameScaler() override;

    // From any thread. A frame not yet started is replaced by a newer one: a picture late for
    // its moment is not worth drawing.
    void request(const VideoFrame &frame);
    // Where pictures go, in device pixels; the frame is fitted into it, keeping its shape. The
    // latest frame is drawn again at the new size.
    void setBounds(QSize bounds);
    // The frame most recently requested.
    VideoFrame lastFrame() const;

    // The frame's shape fitted into bounds, its width made even: at an odd width swscale drops
    // to its plain C path, four times slower; the column given up is letterbox.
    static QSize fitted(QSize frame, QSize bounds);

    // One conversion, on the calling thread; the worker's own step. Reuses a picture of its own
    // when no one else holds it and its size fits.
    class Converter
    {
    public:
        Converter();
        ~Converter();
        Converter(const Converter &) = delete;
        Converter &operator=(const Converter &) = delete;
        QImage convert(const VideoFrame &frame, QSize size);

    private:
        SwsContext *m_context = nullptr;
        std::array<int, 6> m_shape{};
        int m_colourKey = -1;
        QImage m_spare[3];
    };

signals:
    // On the thread the scaler lives in. streamTime is the frame's, in microseconds.
    void ready(const QImage &picture, qint64 streamTime, QSize frameSize);

private:
    struct State;
    static void run(const std::shared_ptr<State> &state);

    std::shared_ptr<State> m_state;
};

}
