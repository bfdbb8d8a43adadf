#pragma once

#include <QString>

class QWidget;

namespace tovra {

// "在新机器上打不开？": on Linux the usual cause is a downloaded build that lost its execute bit,
// so the help names the one command that restores it, for this very executable.
class FirstLaunchHelp
{
public:
    static QString command(const QString &executablePath);
    static QString text(const QString &command);
    // Modal; "复制命令" puts the command on the clipboard as plain text.
    static void show(QWidget *parent);
};

}
