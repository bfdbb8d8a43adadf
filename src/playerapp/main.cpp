// The native player's process: one GStreamer pipeline, served to the client over the link it was
// started with. Whatever goes wrong in here (a demuxer fault, a hang) ends this process, never
// the client, and leaving a play ends it too: the kernel then frees its sockets, threads and
// memory at once, with no pipeline shutdown to wait for or get wrong.

#include "pipeline/playerservice.h"
#include "playerlink/playerlink.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

#include <gst/gst.h>

int main(int argc, char *argv[])
{
    int link = -1;
    pid_t client = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], tovra::playerlink::kLinkOption) == 0)
            link = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], tovra::playerlink::kClientOption) == 0)
            client = pid_t(std::atoll(argv[i + 1]));
    }
    if (link < 0 || client <= 0) {
        fputs("tovra-player is started by tovra-client.\n", stderr);
        return 2;
    }
    // Gone with the client, however it ends. A client that died before this was set has left an
    // orphan, adopted by init or by a subreaper (a user's service manager): the parent is then
    // some other process, not necessarily 1.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != client)
        return 0;
    QCoreApplication app(argc, argv);
    gst_init(&argc, &argv);
    tovra::PlayerService::preloadElements();
    tovra::PlayerService service(link);
    // Nothing is torn down on the way out: what the pipeline holds is the kernel's to free, and
    // GStreamer's own shutdown is where the demuxer's faults live. A spare never ends by itself:
    // the client ends one it no longer wants, so a play that takes it never gets one that is going.
    QObject::connect(&service, &tovra::PlayerService::closed, [] { _exit(0); });
    return app.exec();
}
