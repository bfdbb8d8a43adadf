#include "models/messagelogic.h"

#include "models/htmltext.h"

#include <QDateTime>

namespace tovra::messagelogic {

QString time(qint64 unixSeconds)
{
    return QDateTime::fromSecsSinceEpoch(unixSeconds).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString plain(const QString &html)
{
    QString text = htmltext::stripTags(htmltext::imagesToAltText(html));
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.trimmed();
}

QString timeText(const NoticeItem &item)
{
    if (item.dateshow && !item.dateshow->isEmpty())
        return *item.dateshow;
    if (item.created && *item.created >= 1)
        return time(*item.created);
    return {};
}

QString actorName(const NoticeItem &item)
{
    if (item.actor && item.actor->nickname)
        return *item.actor->nickname;
    return QStringLiteral("有人");
}

QString actionText(const NoticeItem &item)
{
    return item.type == QStringLiteral("like") ? QStringLiteral("赞了你") : QStringLiteral("回复了你");
}

std::optional<QString> titlePart(const NoticeItem &item, const QMap<QString, QString> &titles)
{
    if (!item.did)
        return std::nullopt;
    const auto found = titles.constFind(*item.did);
    if (found == titles.cend())
        return std::nullopt;
    return QStringLiteral("· ") + *found;
}

std::optional<QString> contentLine(const NoticeItem &item)
{
    if (!item.content || item.content->isEmpty())
        return std::nullopt;
    return plain(*item.content);
}

std::optional<QString> quoteLine(const NoticeItem &item)
{
    if (!item.target || !item.target->content || item.target->content->isEmpty())
        return std::nullopt;
    return QStringLiteral("我的原文：") + plain(*item.target->content);
}

QString boardText(const BoardMessage &message)
{
    return message.content.isEmpty() ? QStringLiteral("（留言已删除）") : message.content;
}

bool hasReply(const BoardMessage &message)
{
    return message.reply && !message.reply->message.isEmpty();
}

QString replyHeading(const BoardReply &reply)
{
    return reply.name + QStringLiteral("回复：");
}

std::optional<QString> replyTime(const BoardReply &reply)
{
    if (reply.time < 1)
        return std::nullopt;
    return time(reply.time);
}

std::optional<QString> emptyMessage(const MessageData &data, const QString &tab)
{
    if (tab == QLatin1String(kNoticeTab)) {
        if (!data.notice)
            return QStringLiteral("评论服务暂时不可用");
        if (data.notice->list.isEmpty())
            return QStringLiteral("暂无评论提醒");
        return std::nullopt;
    }
    if (data.board.isEmpty())
        return QStringLiteral("还没有留言");
    return std::nullopt;
}

}
