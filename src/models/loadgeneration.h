#pragma once

#include <QtGlobal>

namespace tovra {

// Tells a screen's loads apart so that only the newest one writes its outcome. A load takes a
// ticket when it starts and checks it after every suspension: a newer start, or an invalidate()
// (the screen's key changed, or it gave up on the load), makes the older ticket stale, and a
// stale load then writes nothing at all, neither its data nor its error.
class LoadGeneration
{
public:
    using Ticket = quint64;

    Ticket begin() { return ++m_current; }
    bool isCurrent(Ticket ticket) const { return ticket == m_current; }
    void invalidate() { ++m_current; }
    Ticket current() const { return m_current; }

private:
    Ticket m_current = 0;
};

}
