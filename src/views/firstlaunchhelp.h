#pragma once

#include <QString>

class QWidget;

namespace tovra {

// "在新机器上打不开？": the three usual reasons a copied build will not start on Linux, matched
// to what the user sees: run from an archive or a read-only place, missing system libraries, a
// lost execute bit. The third names the one command that restores the execute bit of this very
// executable, which "复制第③条的命令" puts on the clipboard.
class FirstLaunchHelp
{
public:
    static QString command(const QString &executablePath);
    // The apt-get line for the libraries the client needs at run time.
    static QString packagesCommand();
    static QString text(const QString &command);
    // Modal; answers whether the command was copied.
    static bool show(QWidget *parent);
};

}
