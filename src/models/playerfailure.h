#pragma once

namespace tovra::player {

// What kind of failure stopped playback; the media engine's own words never reach the screen.
// The player process names the first five and Stalled too, so this header stands alone;
// PlayerEnded, PlayerHung and PlayerMissing are the client's own word on the player process.
enum class Failure {
    Resource,
    Format,
    Network,
    AccessDenied,
    Other,
    // The player process ended unexpectedly: a signal, a crash, an exit without a word.
    PlayerEnded,
    // The player stopped answering, or a command could not be sent to it.
    PlayerHung,
    // The player could not be started: missing, not executable, no link.
    PlayerMissing,
    // The picture stood for the stall limit while the site had answered every request.
    Stalled,
};

}
