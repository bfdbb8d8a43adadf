#include "playerlink/framering.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovra {

namespace {

constexpr std::size_t kPage = 4096;

// A plain read the compiler may not repeat later: the other process can change the field between
// two reads of it.
template<typename T>
T readOnce(const T &field)
{
    return *static_cast<const volatile T *>(&field);
}

std::size_t roundUp(std::size_t bytes)
{
    return (bytes + kPage - 1) / kPage * kPage;
}

}

FrameRing::FrameRing(int fd, std::uint8_t *base, std::size_t bytes)
    : m_fd(fd)
    , m_base(base)
    , m_bytes(bytes)
    , m_header(reinterpret_cast<Header *>(base))
{
}

FrameRing::~FrameRing()
{
    munmap(m_base, m_bytes);
    close(m_fd);
}

std::shared_ptr<FrameRing> FrameRing::create(std::size_t slotBytes)
{
    slotBytes = roundUp(std::max<std::size_t>(slotBytes, 1));
    const std::size_t bytes = kHeaderBytes + slotBytes * kSlots;
    const int fd = memfd_create("tovra-frames", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return {};
    // Sealed at its size: the client maps it whole, and a ring that shrank under that mapping
    // would fault the client on a page the player took away.
    if (ftruncate(fd, off_t(bytes)) != 0 || fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        close(fd);
        return {};
    }
    void *base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        close(fd);
        return {};
    }
    std::shared_ptr<FrameRing> ring(new FrameRing(fd, static_cast<std::uint8_t *>(base), bytes));
    Header *header = ring->m_header;
    header->magic = kMagic;
    header->slotCount = kSlots;
    header->slotBytes = slotBytes;
    ring->m_slotBytes = slotBytes;
    for (int i = 0; i < kSlots; ++i) {
        header->state[i].store(Free, std::memory_order_relaxed);
        header->serial[i].store(0, std::memory_order_relaxed);
    }
    return ring;
}

std::shared_ptr<FrameRing> FrameRing::map(int fd)
{
    struct stat info
    {
    };
    // Only a ring sealed at its size is mapped: the player could not shrink it under us then.
    const int seals = fcntl(fd, F_GET_SEALS);
    if (fstat(fd, &info) != 0 || seals < 0 || !(seals & F_SEAL_SHRINK) || std::size_t(info.st_size) < kHeaderBytes) {
        close(fd);
        return {};
    }
    const std::size_t bytes = std::size_t(info.st_size);
    void *base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        close(fd);
        return {};
    }
    std::shared_ptr<FrameRing> ring(new FrameRing(fd, static_cast<std::uint8_t *>(base), bytes));
    const Header *header = ring->m_header;
    // The header is the player's to write, now too: each field is read once, and the copy that
    // was checked against what was mapped is the one kept for bounds.
    const std::uint32_t magic = readOnce(header->magic);
    const std::uint32_t slotCount = readOnce(header->slotCount);
    const std::uint64_t slotBytes = readOnce(header->slotBytes);
    if (magic != kMagic || slotCount != kSlots || slotBytes == 0 || slotBytes > (bytes - kHeaderBytes) / kSlots)
        return {};
    ring->m_slotBytes = std::size_t(slotBytes);
    return ring;
}

std::optional<int> FrameRing::acquire()
{
    for (int i = 0; i < kSlots; ++i) {
        std::uint32_t expected = Free;
        if (m_header->state[i].compare_exchange_strong(expected, Writing, std::memory_order_acquire))
            return i;
    }
    // Every slot is full: the oldest picture the client has not taken gives way.
    for (;;) {
        int oldest = -1;
        std::uint64_t oldestSerial = 0;
        for (int i = 0; i < kSlots; ++i) {
            if (m_header->state[i].load(std::memory_order_relaxed) != Ready)
                continue;
            const std::uint64_t serial = m_header->serial[i].load(std::memory_order_relaxed);
            if (oldest < 0 || serial < oldestSerial) {
                oldest = i;
                oldestSerial = serial;
            }
        }
        if (oldest < 0)
            return std::nullopt;
        std::uint32_t expected = Ready;
        if (m_header->state[oldest].compare_exchange_strong(expected, Writing, std::memory_order_acquire))
            return oldest;
    }
}

std::uint64_t FrameRing::publish(int index)
{
    const std::uint64_t serial = m_nextSerial++;
    m_header->serial[index].store(serial, std::memory_order_relaxed);
    m_header->state[index].store(Ready, std::memory_order_release);
    return serial;
}

void FrameRing::abandon(int index)
{
    m_header->state[index].store(Free, std::memory_order_release);
}

bool FrameRing::take(int index, std::uint64_t serial)
{
    if (index < 0 || index >= kSlots)
        return false;
    std::uint32_t expected = Ready;
    if (!m_header->state[index].compare_exchange_strong(expected, Reading, std::memory_order_acquire))
        return false;
    if (m_header->serial[index].load(std::memory_order_relaxed) != serial) {
        // A newer picture, whose own news is on its way.
        m_header->state[index].store(Ready, std::memory_order_release);
        return false;
    }
    return true;
}

void FrameRing::release(int index)
{
    m_header->state[index].store(Free, std::memory_order_release);
}

struct VideoFrame::Hold
{
    std::shared_ptr<FrameRing> ring;
    int slot;
    ~Hold() { ring->release(slot); }
};

VideoFrame VideoFrame::take(const std::shared_ptr<FrameRing> &ring, int slot, std::uint64_t serial, const FrameShape &shape,
                            qint64 streamTimeUs)
{
    if (!ring || shape.planes < 1 || shape.planes > 4 || shape.width <= 0 || shape.height <= 0)
        return {};
    // The shape comes from the other process. Here only its planes' starts are checked; the
    // scaler, which knows each format's rows, checks their ends (FrameScaler::Converter).
    for (int p = 0; p < shape.planes; ++p) {
        if (shape.offsets[p] < 0 || shape.strides[p] <= 0 || std::size_t(shape.offsets[p]) >= ring->slotBytes())
            return {};
    }
    if (!ring->take(slot, serial))
        return {};
    VideoFrame frame;
    frame.m_hold = std::make_shared<Hold>(Hold{ring, slot});
    frame.m_shape = shape;
    frame.m_streamTime = streamTimeUs;
    return frame;
}

const std::uint8_t *VideoFrame::plane(int index) const
{
    if (!isValid() || index < 0 || index >= m_shape.planes)
        return nullptr;
    return m_hold->ring->slot(m_hold->slot) + m_shape.offsets[index];
}

}

namespace tovra {

std::size_t VideoFrame::slotBytes() const
{
    return isValid() ? m_hold->ring->slotBytes() : 0;
}

}
