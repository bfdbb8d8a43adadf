#pragma once

class QWebEngineProfile;

namespace tovra {

// The one web engine profile of the application. Making it starts the engine (its processes,
// threads and network context), so it is made the first time a web page opens, never at start-up.
// It is off the record: cookies and cache live in memory for this run only, so nothing a site
// page leaves behind outlasts the process or lands on disk unasked.
class WebProfile
{
public:
    // Made on first use, owned by the application object. Pages made with it must be gone
    // before the application object is.
    static QWebEngineProfile *shared();
};

}
