#include "store/installscript.h"

#include "models/shellquote.h"
#include "store/installlocation.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace tovra {

QString InstallScript::text() const
{
    const QString pidText = QString::number(pid);
    const QString exe = QString::fromLatin1(InstallLocation::kExecutableName);
    // The new copy is made in full beside the target before the target is touched, and then
    // swapped in by two renames: at no moment is there a half-copied client under the target's
    // name. A partial copy is removed before the backup takes the name back.
    const QStringList lines{
        u"#!/bin/bash"_s,
        u"exec >> "_s + shellQuoted(log) + u" 2>&1"_s,
        u"echo \"[$(date '+%F %T')] 开始安装，等待进程 "_s + pidText + u" 退出\""_s,
        QString(),
        // A process that has exited but whose parent has not reaped it yet still answers kill -0;
        // it runs nothing any more, so it counts as gone.
        u"alive() { kill -0 "_s + pidText + u" 2>/dev/null && ! grep -qs '^State:[[:space:]]*Z' /proc/"_s + pidText
            + u"/status; }"_s,
        u"for _ in $(seq 1 "_s + QString::number(waitRounds) + u"); do"_s,
        u"    alive || break"_s,
        u"    sleep 0.1"_s,
        u"done"_s,
        u"if alive; then"_s,
        u"    echo \"旧进程仍在运行，放弃替换（不会删除现有版本）\""_s,
        u"    exit 1"_s,
        u"fi"_s,
        QString(),
        u"NEW="_s + shellQuoted(newUnit),
        u"TARGET="_s + shellQuoted(target),
        u"BACKUP=\"$TARGET.old-$$\""_s,
        u"STAGING=\"$TARGET.new-$$\""_s,
        QString(),
        u"[ -d \"$NEW\" ] || { echo \"新版本目录不存在: $NEW\"; exit 1; }"_s,
        QString(),
        u"rm -rf -- \"$STAGING\""_s,
        u"if ! cp -R -P --preserve=mode,timestamps -- \"$NEW\" \"$STAGING\"; then"_s,
        u"    echo \"复制失败，回滚\""_s,
        u"    rm -rf -- \"$STAGING\""_s,
        u"    exit 1"_s,
        u"fi"_s,
        QString(),
        u"if [ -d \"$TARGET\" ]; then"_s,
        u"    mv -T -- \"$TARGET\" \"$BACKUP\" || { echo \"备份旧版本失败\"; rm -rf -- \"$STAGING\"; exit 1; }"_s,
        u"fi"_s,
        QString(),
        u"if mv -T -- \"$STAGING\" \"$TARGET\"; then"_s,
        u"    echo \"复制完成\""_s,
        u"    rm -rf -- \"$BACKUP\" \"$NEW\""_s,
        u"else"_s,
        u"    echo \"复制失败，回滚\""_s,
        u"    rm -rf -- \"$STAGING\" \"$TARGET\""_s,
        u"    [ -d \"$BACKUP\" ] && mv -T -- \"$BACKUP\" \"$TARGET\""_s,
        u"    exit 1"_s,
        u"fi"_s,
        QString(),
        u"chmod 0755 \"$TARGET/"_s + exe + u"\" 2>/dev/null"_s,
        u"[ -x \"$TARGET/"_s + exe + u"\" ] && setsid -f \"$TARGET/"_s + exe
            + u"\" < /dev/null > /dev/null 2>&1 && echo \"已重新打开\""_s,
        u"rm -f -- "_s + shellQuoted(script),
    };
    return lines.join(u'\n');
}

}
