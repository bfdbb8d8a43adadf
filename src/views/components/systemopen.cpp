#include "views/components/systemopen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tovra {

namespace {

constexpr int kQueryTimeoutMs = 2000;

// The desktop's handler for a scheme, by the freedesktop.org registry. Unknown (true) when the
// registry cannot be asked: the opener then decides on its own.
bool hasSchemeHandler(const QString &scheme)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty())
        return true;
    QProcess query;
    query.start(tool, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/") + scheme});
    if (!query.waitForFinished(kQueryTimeoutMs) || query.exitStatus() != QProcess::NormalExit) {
        query.kill();
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

}

bool openWithSystem(const QString &link)
{
    const qsizetype colon = link.indexOf(QLatin1Char(':'));
    const QString scheme = link.left(std::max<qsizetype>(colon, 0)).toLower();
    // Browsers are always there; torrent clients and Thunder often are not.
    if ((scheme == u"magnet" || scheme == u"thunder") && !hasSchemeHandler(scheme))
        return false;
    // QUrl lower-cases what it takes for a host, which ruins a Thunder link's base64 payload;
    // a link that does not survive the round trip goes to the opener verbatim.
    const QUrl url(link);
    if (url.isValid() && QString::fromUtf8(url.toEncoded()) == link)
        return QDesktopServices::openUrl(url);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    return !opener.isEmpty() && QProcess::startDetached(opener, {link});
}

}
