#pragma once

#include <QImage>
#include <QObject>
#include <array>
#include <memory>

#include "playerlink/framering.h"

struct SwsContext;

namespace tovra {

// Turns decoded frames into pictures at the size they are shown, on a thread of its own: the
// colour conversion and the scaling are one SIMD pass of libswscale written straight at the size
// shown, so the GUI thread only copies the finished picture into the window. Frames are read
// where the player process left them, in shared memory: this pass is the only one over them.
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
        // The format is one the player writes, and every row libswscale will read of each plane
        // lies inside the frame's slot: the shape comes from another process.
        static bool fitsSlot(const FrameShape &shape, std::size_t slotBytes);

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
