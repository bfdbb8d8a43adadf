#include "views/engine/engineloader.h"

#include "store/log.h"
#include "views/engine/mediaengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

using namespace Qt::StringLiterals;

namespace tovra {

QStringList EngineLoader::candidates()
{
    const QString named = qEnvironmentVariable(kPathVariable);
    if (!named.isEmpty())
        return {named};
    const QString appDir = QCoreApplication::applicationDirPath();
    QStringList files{QDir(appDir).filePath(QString::fromLatin1(kFileName))};
    // Only an executable of this build tree looks there: an installed client must not load
    // whatever a folder named like the build machine's happens to hold.
    const QString buildRoot = QDir::cleanPath(QStringLiteral(TOVRA_BUILD_ROOT));
    const QString cleanAppDir = QDir::cleanPath(appDir);
    if (cleanAppDir == buildRoot || cleanAppDir.startsWith(buildRoot + u'/'))
        files << QDir(QStringLiteral(TOVRA_ENGINE_BUILD_DIR)).filePath(QString::fromLatin1(kFileName));
    files.removeDuplicates();
    return files;
}

std::expected<MediaEngine *, QString> EngineLoader::engine()
{
    static MediaEngine *loaded = nullptr;
    if (loaded)
        return loaded;
    // A program that links the engine in (the engine's own tests) has it as a static plugin.
    for (QObject *instance : QPluginLoader::staticInstances()) {
        if (auto *engine = qobject_cast<MediaEngine *>(instance))
            return loaded = engine;
    }
    QStringList reasons;
    for (const QString &file : candidates()) {
        if (!QFileInfo(file).isFile()) {
            reasons << file + u": not found"_s;
            continue;
        }
        QPluginLoader loader(file);
        // Every symbol now: a plugin from another build must fail here, with the screen's
        // sentence, rather than crash on its first call.
        loader.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (auto *engine = qobject_cast<MediaEngine *>(loader.instance()))
            return loaded = engine;
        reasons << file + u": "_s + (loader.isLoaded() ? u"not a Tovra engine"_s : loader.errorString());
    }
    logLine(u"网页和播放组件无法加载"_s, reasons.join(u"; "_s));
    return std::unexpected(kUnavailableText.toString());
}

}
