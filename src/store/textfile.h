#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <optional>

namespace tovra {

// The small files the client keeps for itself (token, device id, last report day).

// The file as UTF-8 text; nothing when it cannot be read or is not valid UTF-8.
std::optional<QString> readUtf8File(const QString &path);

// Replaces the file atomically with bytes; the error text when that failed. With a mode, the
// temporary file takes it before anything is written to it, so the rename never exposes the
// contents under a wider mode, whatever the umask or the old file's mode was.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes,
                                           std::optional<QFileDevice::Permissions> mode = std::nullopt);

}
