#pragma once

namespace tovra {

// Start-up and idle benchmarks run this very executable as a user would and need to know the
// moment the home page is first painted with its content; nothing in the window tells another
// process that. With TOVRA_FIRST_PAINT_MARK set, the client prints
// "first-paint <CLOCK_MONOTONIC nanoseconds>" on stdout once that paint has been delivered, and
// quits when the value is "exit". Unset, nothing is installed and start-up is untouched.
void installFirstPaintMark();

}
