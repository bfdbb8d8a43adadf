#pragma once

#include "playerlink/framering.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <optional>
#include <utility>

// What the client and the player process say to each other over one local socket of message
// packets (SOCK_SEQPACKET: a packet is a message, whole or not at all). The client sends
// commands; the player sends news, and with the news of a new frame ring, the ring's memory.
namespace tovra::playerlink {

// The descriptor number of the player's end of the link, as the client hands it to the child.
inline constexpr char kLinkOption[] = "--link";
// The client's process id: the player's parent must be that process, or the client is gone.
inline constexpr char kClientOption[] = "--client";

enum class Command : quint8 {
    // url (QByteArray), startNs (qint64), sequence (quint64)
    Open = 1,
    // playing (bool)
    Play,
    // ns (qint64), sequence (quint64)
    Seek,
    // rate (double)
    Rate,
    // volume (double)
    Volume,
    // muted (bool)
    Muted,
    // bitsPerSecond (quint64), fromHere (bool)
    MaxBitrate,
    // wanted (bool): whether pictures are worth copying for the client at all
    Frames,
    // serial (quint64): answered by News::Pong from the player's main thread
    Ping,
};

enum class News : quint8 {
    // ringId (quint32); the ring's descriptor rides along
    Ring = 1,
    // ringId (quint32), slot (qint32), serial (quint64), streamTimeUs (qint64), FrameShape
    Frame,
    // streamTimeUs (qint64): a picture reached the sink but could not be handed over
    Position,
    // sequence (quint64)
    Seeked,
    // ms (qint64)
    Duration,
    // kind (qint32), text (QString)
    Failed,
    // opened (quint64)
    Ended,
    // percent (qint32)
    Buffering,
    // serial (quint64): the Ping it answers; waitsOnSite (bool): the stream waits on a request
    // the site has not answered, or failed (LocalPipeline::waitsOnSite)
    Pong,
};

// A message is never bigger than this; a stream address is the only thing of any size in one.
inline constexpr int kMaxMessage = 64 * 1024;

QDataStream &operator<<(QDataStream &out, const FrameShape &shape);
QDataStream &operator>>(QDataStream &in, FrameShape &shape);

template<typename Kind, typename... Fields>
QByteArray pack(Kind kind, const Fields &...fields)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quint8(kind);
    (out << ... << fields);
    return bytes;
}

// Both ends of a new link, close-on-exec; none if the system would not make one.
std::optional<std::pair<int, int>> makeLink();
// Sends one message, with a descriptor to pass if passFd is one. Without wait, a full socket
// drops the message rather than block. False when it could not go, errno saying why (EAGAIN: the
// socket is full).
bool send(int fd, const QByteArray &message, int passFd = -1, bool wait = true);

enum class Received { Message, Nothing, Closed };
// Reads one message without waiting; passedFd is a descriptor that came with it, else -1 (the
// caller owns it).
Received receive(int fd, QByteArray &message, int &passedFd);

}
