#include "views/components/filereveal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

namespace tovra {

namespace {
// A file manager that is slow to start still answers well within this; beyond it the folder
// opens instead, so a save never ends with nothing shown.
constexpr int kCallTimeoutMs = 5000;
}

void revealFile(const QString &path, const QDBusConnection &bus, std::function<void(const QUrl &folder)> openFolder)
{
    const QFileInfo file(path);
    const QUrl folder = QUrl::fromLocalFile(file.absolutePath());
    if (!bus.isConnected()) {
        openFolder(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded)} << QString();
    // Activating the service may start the file manager; waiting here would freeze the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder, openFolder = std::move(openFolder)](QDBusPendingCallWatcher *done) {
                         done->deleteLater();
                         if (done->isError())
                             openFolder(folder);
                     });
}

}
