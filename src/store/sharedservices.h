#pragma once

class QNetworkAccessManager;
class QObject;

namespace tovra {

// Makes the process-wide objects that screens reach through their shared() accessors: one network
// manager with the HTTP disk cache, the API client (its token read from the sign-in state on
// every request), the sign-in state and the image loader, all owned by owner. Answers the manager.
QNetworkAccessManager *installSharedServices(QObject *owner);

}
