#pragma once

#include "views/player/pipeline.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <chrono>

// The player processes as a whole, Pipeline's side of starting and ending them: the executable
// with its end of the link, the spare one that loads GStreamer while the user reads, and every
// process not yet reaped. Pipeline (pipeline.cpp) talks to the one its play holds.
namespace tovra::playerprocess {

// How long a player told to stop may take before it is killed. It stops at once when it reads the
// link closing; only one stuck in the kernel or hung outside its event loop needs the kill.
constexpr std::chrono::milliseconds kStopGrace{150};

struct Spare
{
    QPointer<QProcess> process;
    int link = -1;
    // Which prepare() the idle timer belongs to: each one gives the spare a minute again.
    quint64 generation = 0;
};

Pipeline::Launcher &launcher();
// Every player process not yet reaped, spares included.
QList<QPointer<QProcess>> &processes();
Spare &spare();
// The other end of the link has gone (or is going), reaped or not.
bool linkClosed(int link);
bool spareAlive();
// The kernel holds the process stopped.
bool stopped(qint64 pid);
void endSpare();
// Starts the player executable with its end of the link, which is closed here either way.
QProcess *startProcess(int theirs);

}
