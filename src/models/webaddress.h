#pragma once

class QUrl;

namespace tovra {

// An http or https address with a host, scheme compared without regard to case. Addresses the
// server hands us are fetched, played or opened only when they pass: never a local file, a
// resource or a custom scheme.
bool isWebAddress(const QUrl &url);

}
