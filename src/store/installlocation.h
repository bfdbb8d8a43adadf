#pragma once

namespace tovra {

// Where the client is installed and the help for machines that refuse to start it. On this
// platform both steps have nothing to do yet.
class InstallLocation
{
public:
    // May hold start-up in a modal question until the user answers.
    static void promptIfNeeded() {}
    // The help for a machine that refuses to open the client.
    static void showGatekeeperHelp() {}
};

}
