#pragma once

#include <QSize>
#include <QtGlobal>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace tovra {

// The layout of one decoded picture in a ring slot, as the player process wrote it: libswscale's
// names for the format and colours, so the client needs nothing of GStreamer to read it.
struct FrameShape
{
    qint32 width = 0;
    qint32 height = 0;
    // An AVPixelFormat.
    qint32 pixelFormat = -1;
    qint32 planes = 0;
    std::array<qint32, 4> offsets{};
    std::array<qint32, 4> strides{};
    // An SWS_CS_* value; for YUV formats only.
    qint32 colourMatrix = 0;
    bool yuv = false;
    bool fullRange = false;

    QSize size() const { return {width, height}; }
    friend bool operator==(const FrameShape &, const FrameShape &) = default;
};

// Decoded pictures cross from the player process to the client through a ring of slots in one
// shared memory file (a memfd the player makes and hands over the link): the player copies each
// picture into a slot once, and the client's scaler reads it there. Neither side ever waits for
// the other. Each slot's state lives in the file's header:
//  - free: the player may write it;
//  - writing: the player is copying a picture in;
//  - ready: a picture waits for the client; the player may take it back for a newer one when no
//    slot is free (a picture late for its moment is not worth drawing, as the scaler's own queue
//    has it), so the client checks the serial the news named once it holds the slot;
//  - reading: the client holds it (the picture being scaled, or the last one, drawn again at a
//    new size) until it lets go.
// The client dies or lets go; the player dies: either way the memory goes with the last mapping.
class FrameRing
{
public:
    static constexpr int kSlots = 8;
    enum SlotState : std::uint32_t { Free = 0, Writing = 1, Ready = 2, Reading = 3 };

    struct Header
    {
        std::uint32_t magic;
        std::uint32_t slotCount;
        std::uint64_t slotBytes;
        std::atomic<std::uint32_t> state[kSlots];
        std::atomic<std::uint64_t> serial[kSlots];
    };
    static constexpr std::uint32_t kMagic = 0x54465231; // "TFR1"
    static constexpr std::size_t kHeaderBytes = 4096;
    static_assert(sizeof(Header) <= kHeaderBytes);
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free,
                  "the slot states are shared between processes");

    // A new ring for slots of at least slotBytes each; none when the memory cannot be had.
    static std::shared_ptr<FrameRing> create(std::size_t slotBytes);
    // Maps a ring the other side made; takes the descriptor over. None if it is not one.
    static std::shared_ptr<FrameRing> map(int fd);
    ~FrameRing();
    FrameRing(const FrameRing &) = delete;
    FrameRing &operator=(const FrameRing &) = delete;

    int fd() const { return m_fd; }
    std::size_t slotBytes() const { return m_slotBytes; }
    std::uint8_t *slot(int index) const { return m_base + kHeaderBytes + std::size_t(index) * m_slotBytes; }

    // The player's side. A slot to write into: a free one, else the oldest picture the client has
    // not taken yet; none when the client holds them all.
    std::optional<int> acquire();
    // The picture in the slot is complete; answers the serial its news names.
    std::uint64_t publish(int index);
    // Gives a slot acquired but not filled back.
    void abandon(int index);

    // The client's side. Takes the picture the news named; false if the player has written a
    // newer one there since (its own news follows) or the slot is not one of the ring's.
    bool take(int index, std::uint64_t serial);
    void release(int index);

private:
    FrameRing(int fd, std::uint8_t *base, std::size_t bytes);

    int m_fd = -1;
    std::uint8_t *m_base = nullptr;
    std::size_t m_bytes = 0;
    Header *m_header = nullptr;
    // Read from the header once: the other side could write anything there later.
    std::size_t m_slotBytes = 0;
    std::uint64_t m_nextSerial = 1;
};

// One picture the client holds in a ring, with its shape and its place on the stream's clock.
// Copies share the hold; the slot goes back to the player when the last copy goes. Any thread may
// hold one.
class VideoFrame
{
public:
    VideoFrame() = default;
    // Takes the slot the news named; an invalid frame if the player has moved on from it.
    static VideoFrame take(const std::shared_ptr<FrameRing> &ring, int slot, std::uint64_t serial, const FrameShape &shape,
                           qint64 streamTimeUs);

    bool isValid() const { return m_hold != nullptr; }
    QSize size() const { return isValid() ? m_shape.size() : QSize(); }
    const FrameShape &shape() const { return m_shape; }
    const std::uint8_t *plane(int index) const;
    // How many bytes from each plane's start at the slot's start may be read.
    std::size_t slotBytes() const;
    // Microseconds of stream time: 0 is the stream's start, as the position bar counts.
    qint64 streamTime() const { return m_streamTime; }

private:
    struct Hold;
    std::shared_ptr<Hold> m_hold;
    FrameShape m_shape;
    qint64 m_streamTime = -1;
};

}
