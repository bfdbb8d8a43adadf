#pragma once

#include <QImage>
#include <QObject>
#include <QVideoFrame>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct SwsContext;

namespace tovra {

// Turns decoded frames into pictures at the size they are shown, on a thread of its own. The
// media backend hands each frame to the GUI thread and waits for it there, so whatever the GUI
// thread spends on a frame is taken from the decoder: converting a 1080p frame to RGB there and
// then scaling it with QPainter cost most frames at 60 fps. Here the colour conversion and the
// scaling are one SIMD pass of libswscale written straight at the size shown, and the GUI thread
// only copies the finished picture into the window.
class FrameScaler : public QObject
{
    Q_OBJECT
public:
    explicit FrameScaler(QObject *parent = nullptr);
    ~FrameScaler() override;

    // The frame drawn at `size` device pixels (aspect ratio the caller's business). A request
    // not yet started is replaced by a newer one: a picture late for its moment is not worth
    // drawing.
    void request(const QVideoFrame &frame, QSize size);

    // One conversion, on the calling thread; the worker's own step. Reuses `into` when no one
    // else holds it and its size fits.
    class Converter
    {
    public:
        Converter();
        ~Converter();
        Converter(const Converter &) = delete;
        Converter &operator=(const Converter &) = delete;
        QImage convert(const QVideoFrame &frame, QSize size);

    private:
        SwsContext *m_context = nullptr;
        std::array<int, 6> m_shape{};
        int m_colourKey = -1;
        QImage m_spare[3];
    };

signals:
    // On the thread the scaler lives in. startTime is the frame's, in microseconds.
    void ready(const QImage &picture, qint64 startTime);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QVideoFrame m_pending;
    QSize m_pendingSize;
    bool m_hasPending = false;
    bool m_quit = false;
    std::thread m_worker;
};

}
