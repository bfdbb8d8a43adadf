#include "playerlink/playerlink.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace tovra::playerlink {

QDataStream &operator<<(QDataStream &out, const FrameShape &shape)
{
    out << shape.width << shape.height << shape.pixelFormat << shape.planes;
    for (int p = 0; p < 4; ++p)
        out << shape.offsets[p] << shape.strides[p];
    return out << shape.colourMatrix << shape.yuv << shape.fullRange;
}

QDataStream &operator>>(QDataStream &in, FrameShape &shape)
{
    in >> shape.width >> shape.height >> shape.pixelFormat >> shape.planes;
    for (int p = 0; p < 4; ++p)
        in >> shape.offsets[p] >> shape.strides[p];
    return in >> shape.colourMatrix >> shape.yuv >> shape.fullRange;
}

std::optional<std::pair<int, int>> makeLink()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return std::nullopt;
    return std::pair{ends[0], ends[1]};
}

bool send(int fd, const QByteArray &message, int passFd, bool wait)
{
    iovec part{const_cast<char *>(message.constData()), std::size_t(message.size())};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (passFd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof(control);
        cmsghdr *item = CMSG_FIRSTHDR(&header);
        item->cmsg_level = SOL_SOCKET;
        item->cmsg_type = SCM_RIGHTS;
        item->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(item), &passFd, sizeof(int));
    }
    // MSG_NOSIGNAL: the other side gone is news for the caller, not a SIGPIPE for the process.
    const int flags = MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT);
    for (;;) {
        const ssize_t sent = sendmsg(fd, &header, flags);
        if (sent >= 0)
            return sent == message.size();
        if (errno != EINTR)
            return false;
    }
}

Received receive(int fd, QByteArray &message, int &passedFd)
{
    // A cut packet (over the limit, or its descriptors cut) is not a message: the next one is.
    // Read in a loop, not by recursion: the other side decides how many cut ones come.
    for (;;) {
        passedFd = -1;
        message.resize(kMaxMessage);
        iovec part{message.data(), std::size_t(message.size())};
        msghdr header{};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        header.msg_control = control;
        header.msg_controllen = sizeof(control);
        ssize_t got;
        do
            got = recvmsg(fd, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        while (got < 0 && errno == EINTR);
        if (got < 0) {
            message.clear();
            return errno == EAGAIN || errno == EWOULDBLOCK ? Received::Nothing : Received::Closed;
        }
        for (cmsghdr *item = CMSG_FIRSTHDR(&header); item; item = CMSG_NXTHDR(&header, item)) {
            if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS)
                continue;
            // Only the first descriptor is ours to keep; any other is closed at once.
            const std::size_t count = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int passed;
                std::memcpy(&passed, CMSG_DATA(item) + i * sizeof(int), sizeof(int));
                if (passedFd < 0)
                    passedFd = passed;
                else
                    close(passed);
            }
        }
        const bool cut = header.msg_flags & (MSG_TRUNC | MSG_CTRUNC);
        // A packet of nothing is the other end closing its side.
        if (got == 0 || cut) {
            if (passedFd >= 0)
                close(std::exchange(passedFd, -1));
            if (cut)
                continue;
            message.clear();
            return Received::Closed;
        }
        message.resize(got);
        return Received::Message;
    }
}

}
