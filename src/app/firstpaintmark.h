#pragma once

namespace tovra {

// Start-up and idle benchmarks run this very executable as a user would and need to know two
// moments of its start; nothing in the window tells another process that. With
// TOVRA_FIRST_PAINT_MARK set, the client prints on stdout, in CLOCK_MONOTONIC nanoseconds once the
// frame has been delivered, "first-paint <ns>" for the first frame with the home page's content,
// then "drawn <ns>" for the first frame with the page fully drawn: every sidebar entry's row and
// every visible poster the caches hold (those waiting for the server do not count; a site whose
// sidebar list is empty never gets there). One frame may be both: the two lines then carry the
// same time. The client quits after "drawn" when the value is "exit". Unset, nothing is installed
// and start-up is untouched.
void installFirstPaintMark();

}
