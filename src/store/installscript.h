#pragma once

#include <QString>

namespace tovra {

// The shell script that replaces the installed client once it has quit, and starts the new one.
// A running program cannot swap its own folder safely, so the swap happens in a process that
// outlives it; everything it does goes to its log, the one place a failure is told.
struct InstallScript
{
    QString log;       // appended to
    QString newUnit;   // the unpacked client folder
    QString target;    // the installed client folder, replaced
    QString script;    // the script's own file, removed at the end
    qint64 pid = 0;    // the old process, waited for
    int waitRounds = 600; // of 0.1 s each, before giving up on the old process

    // Every path single-quoted, so no name can break out of its word.
    QString text() const;
};

}
