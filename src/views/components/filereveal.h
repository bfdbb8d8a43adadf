#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>
#include <functional>

namespace tovra {

// Shows a saved file selected in the desktop's file manager through the freedesktop.org
// interface (org.freedesktop.FileManager1.ShowItems on the session bus). When no file manager
// answers there (no bus, no such service, an error reply), openFolder is given the file's
// folder instead. Returns at once; the outcome arrives with the bus's answer.
void revealFile(const QString &path, const QDBusConnection &bus, std::function<void(const QUrl &folder)> openFolder);

}
