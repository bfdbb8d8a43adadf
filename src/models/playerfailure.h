#pragma once

namespace tovra::player {

// What kind of failure stopped playback; the media engine's own words never reach the screen.
// The player process names these too, so this header stands alone.
enum class Failure { Resource, Format, Network, AccessDenied, Other };

}
