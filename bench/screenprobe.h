#pragma once

// What is on an X screen, read back from the server with a connection of our own: where a
// window is, whether a rectangle shows anything but black, and the frame numbers that the frame
// benchmark's streams carry as a bar code (cmake/benchmedia.sh). Reading the screen rather than
// a player's own counters means a frame counts only if it was really drawn, whatever path the
// player takes to draw it.

#include "clientrun.h"

#include <QRect>
#include <QString>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tovra::bench {

// Where a picture of that aspect ratio is drawn in area when letterboxed: as large as fits,
// centred.
inline QRect letterboxed(const QRect &area, QSize aspect)
{
    const QSize size = aspect.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2, size.width(),
                 size.height());
}

class ScreenProbe
{
public:
    // The bar code: sixteen blocks across the top of the picture, each row a twelfth of its
    // height, the number's bits (least significant on the left, white for 1) above their
    // complement.
    static constexpr int kBits = 16;
    static constexpr int kBandsPerHeight = 12;

    explicit ScreenProbe(const QString &display)
    {
        m_connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~ScreenProbe() { xcb_disconnect(m_connection); }
    ScreenProbe(const ScreenProbe &) = delete;
    ScreenProbe &operator=(const ScreenProbe &) = delete;

    bool isValid() const { return m_root != 0; }

    // A top-level window of that title (WM_NAME) that is mapped, in screen coordinates; empty
    // when there is none.
    QRect windowNamed(const QByteArray &title) const
    {
        QRect found;
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
        if (!tree)
            return found;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && found.isEmpty(); ++i) {
            std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
                xcb_get_property_reply(m_connection, xcb_get_property(m_connection, 0, children[i], XCB_ATOM_WM_NAME,
                                                                      XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                       nullptr),
                &std::free);
            if (!name || QByteArray(static_cast<const char *>(xcb_get_property_value(name.get())),
                                    xcb_get_property_value_length(name.get()))
                             != title)
                continue;
            std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
                xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr),
                &std::free);
            std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
                xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, children[i]), nullptr), &std::free);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && geometry)
                found = QRect(geometry->x + geometry->border_width, geometry->y + geometry->border_width, geometry->width,
                              geometry->height);
        }
        std::free(tree);
        return found;
    }

    // The share of the row across the middle of rect brighter than near-black, 0 to 1.
    double litShare(const QRect &rect) const
    {
        int lit = 0;
        readRow(rect.x(), rect.center().y(), rect.width(), [&](const uchar *pixel) {
            lit += pixel[0] > 40 || pixel[1] > 40 || pixel[2] > 40;
        });
        return rect.width() > 0 ? double(lit) / rect.width() : 0;
    }

    // The frame number the picture at rect shows now, or -1 when the two rows disagree (the
    // picture was being replaced between them) or the code is not there.
    int frameNumber(const QRect &picture) const
    {
        const double band = picture.height() / double(kBandsPerHeight);
        const xcb_get_image_cookie_t top = request(picture.x(), picture.y() + int(band / 2), picture.width());
        const xcb_get_image_cookie_t bottom = request(picture.x(), picture.y() + int(band * 1.5), picture.width());
        const int bits = decode(top, picture.width());
        const int complement = decode(bottom, picture.width());
        if (bits < 0 || complement < 0 || (bits ^ complement) != (1 << kBits) - 1)
            return -1;
        return bits;
    }

private:
    xcb_get_image_cookie_t request(int x, int y, int width) const
    {
        return xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, qint16(x), qint16(y), quint16(width), 1, ~0u);
    }

    // Each block read at its centre; on a 24-bit screen a pixel is four bytes, blue first.
    int decode(xcb_get_image_cookie_t cookie, int width) const
    {
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
            xcb_get_image_reply(m_connection, cookie, nullptr), &std::free);
        if (!image || xcb_get_image_data_length(image.get()) < width * 4)
            return -1;
        const uchar *row = xcb_get_image_data(image.get());
        int bits = 0;
        for (int i = 0; i < kBits; ++i) {
            const uchar *pixel = row + 4 * int((i + 0.5) * width / kBits);
            if (pixel[0] + pixel[1] + pixel[2] > 3 * 128)
                bits |= 1 << i;
        }
        return bits;
    }

    template<typename Each>
    void readRow(int x, int y, int width, Each each) const
    {
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
            xcb_get_image_reply(m_connection, request(x, y, width), nullptr), &std::free);
        if (!image || xcb_get_image_data_length(image.get()) < width * 4)
            return;
        const uchar *row = xcb_get_image_data(image.get());
        for (int i = 0; i < width; ++i)
            each(row + 4 * i);
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
};

// Reads the frame number on screen as fast as the server answers (about a thousand times a
// second, many times any frame rate played), on a thread of its own, keeping every reading.
class FrameReader
{
public:
    struct Reading
    {
        qint64 ns;
        int frame;
    };

    FrameReader(const QString &display, const QRect &picture) : m_probe(display), m_picture(picture) {}
    ~FrameReader() { stop(); }

    bool start()
    {
        if (!m_probe.isValid())
            return false;
        m_thread = std::thread([this] {
            while (!m_stopping.load()) {
                const int frame = m_probe.frameNumber(m_picture);
                const qint64 now = monotonicNs();
                {
                    std::lock_guard lock(m_mutex);
                    ++m_polls;
                    if (frame >= 0)
                        m_readings.push_back({now, frame});
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        return true;
    }

    void stop()
    {
        m_stopping = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::vector<Reading> readings() const
    {
        std::lock_guard lock(m_mutex);
        return m_readings;
    }
    qint64 polls() const
    {
        std::lock_guard lock(m_mutex);
        return m_polls;
    }

private:
    ScreenProbe m_probe;
    QRect m_picture;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<Reading> m_readings;
    qint64 m_polls = 0;
};

// gst-play-1.0 with playbin3 in a window of its own on the display: from its start to the first
// time most of the screen's middle lights up (the display shows nothing else).
inline qint64 gstPlayFirstPicture(const QUrl &stream, const QString &display, int timeoutMs = 20000)
{
    ScreenProbe screen(display);
    QProcess gst;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("USE_PLAYBIN3"), QStringLiteral("1"));
    gst.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    gst.start(QStringLiteral("gst-play-1.0"), {QStringLiteral("--no-interactive"), QStringLiteral("--videosink=ximagesink"),
                                               QStringLiteral("--audiosink=fakesink sync=true"), stream.toString()});
    qint64 ms = -1;
    while (ms < 0 && clock.elapsed() < timeoutMs && gst.state() != QProcess::NotRunning) {
        // The stream may come from a site served by this very process.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (screen.litShare(QRect(0, 300, 1920, 100)) > 0.05)
            ms = clock.elapsed();
    }
    gst.kill();
    gst.waitForFinished(2000);
    return ms;
}

}
