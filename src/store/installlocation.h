#pragma once

namespace tovra {

// Where the client is installed. A Linux build has no Applications folder to offer a move into,
// so the start-up step has nothing to do.
class InstallLocation
{
public:
    // May hold start-up in a modal question until the user answers.
    static void promptIfNeeded() {}
};

}
