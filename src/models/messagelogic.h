#pragma once

#include "models/account.h"

#include <QMap>
#include <QString>

namespace tovra::messagelogic {

// The two lists of the message page and the notice filters, as the site names them.
inline constexpr const char kNoticeTab[] = "notice";
inline constexpr const char kBoardTab[] = "board";

// Local time as "yyyy-MM-dd HH:mm"; Unix second 0 is a time like any other.
QString time(qint64 unixSeconds);

// A notice's HTML fragment as display text: image tags with a double-quoted alt become
// "[alt]", every other tag goes, "&nbsp;" and "&amp;" are decoded (in that order, and nothing
// else is), and white space at both ends is trimmed.
QString plain(const QString &html);

// The server's own wording of the time when it sent one, else the creation time, else nothing.
QString timeText(const NoticeItem &item);

// "有人" only when there is no actor or no nickname; an empty nickname stays empty.
QString actorName(const NoticeItem &item);
// "赞了你" for likes, "回复了你" for everything else.
QString actionText(const NoticeItem &item);
// "· <title>" when the notice names a title the reply knows, else none.
std::optional<QString> titlePart(const NoticeItem &item, const QMap<QString, QString> &titles);
// The notice's text as shown, or none when it has no (non-empty) content. The check is made
// on the raw text, so content made only of tags still gives an (empty) line.
std::optional<QString> contentLine(const NoticeItem &item);
// "我的原文：" and the quoted comment, or none when the notice quotes nothing.
std::optional<QString> quoteLine(const NoticeItem &item);

// A board entry's text, shown as it arrives; an empty one was deleted.
QString boardText(const BoardMessage &message);
// Whether a reply box is shown, its heading, and its time (none for time 0).
bool hasReply(const BoardMessage &message);
QString replyHeading(const BoardReply &reply);
std::optional<QString> replyTime(const BoardReply &reply);

// The empty-state message for a reply in the given tab, or none when there are rows to show.
std::optional<QString> emptyMessage(const MessageData &data, const QString &tab);

}
