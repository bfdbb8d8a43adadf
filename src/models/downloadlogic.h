#pragma once

#include "models/title.h"
#include "network/apierror.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace tovra::downloads {

// The four buttons of a torrent's resource page, in the order they are shown.
enum class DownAction { Copy, Magnet, Xl, Bt };

const QList<DownAction> &allActions();
// The button's label; fromRawValue() accepts exactly these four texts.
QString rawValue(DownAction action);
std::optional<DownAction> fromRawValue(const QString &text);
QString busyText(DownAction action);
QString successText(DownAction action);
QString failureText(DownAction action);
// The "type" asked of the resource endpoint: 0 only for copying the magnet link.
qint64 resourceType(DownAction action);

inline constexpr int kFailureShownMs = 2000;
inline constexpr const char *kPageTitle = "种子下载";
inline constexpr const char *kEmptyTree = "没有文件明细";
inline constexpr const char *kNoHandler = "没有可以打开该链接的应用";

// The message under the buttons for a failed action.
QString errorText(DownAction action, const APIError &error);

// name, else title, else the fallback; an empty present name wins over the title.
QString resourceName(const TorrentDetail &detail, const QString &fallback = {});
QString navigationTitle(const std::optional<TorrentDetail> &detail);
// The symbol for a file, by the extension after the last dot of the last path component.
QString fileIcon(const QString &name);

// The link the action may hand to the system, or nothing when the text is empty, is not one
// link, or has a scheme the action does not take: magnet: for magnet, thunder: for xl,
// http/https for bt. Server text never reaches the opener otherwise. Copy takes any non-empty
// text, since the pasteboard opens nothing.
std::optional<QString> acceptedLink(DownAction action, const QString &text);

// Only a bencoded dictionary of some substance is taken for a .torrent file.
bool looksLikeTorrent(const QByteArray &body);
// A bigger reply is no torrent we want; the download is stopped there.
inline constexpr qint64 kMaxTorrentBytes = 32LL * 1024 * 1024;

// A file name made from server text: no separators or characters other systems refuse, no
// control or direction-override characters, at most 120 characters and 255 UTF-8 bytes, ending
// in ".torrent".
QString torrentFileName(const QString &name);
// The first of name, "base (2).ext", "base (3).ext", ... not present in folder (a dangling link
// counts as present). Names stay within 255 bytes. Nothing is created.
QString uniquePath(const QString &folder, const QString &name);

// Writes bytes into folder under the first free variant of name without ever replacing a file:
// a name taken between the check and the write moves on to the next one. Answers the path.
Result<QString> saveNew(const QString &folder, const QString &name, const QByteArray &bytes);
// A path typed into a save dialog, with ".torrent" added when it does not end so.
QString withTorrentExtension(const QString &path);
// Replaces whatever is at path (the user chose it and confirmed).
Result<QString> saveAt(const QString &path, const QByteArray &bytes);

}
