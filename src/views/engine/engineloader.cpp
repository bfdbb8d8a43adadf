#include "views/engine/engineloader.h"

#include "store/log.h"
#include "views/engine/mediaengine.h"
#include "views/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QPluginLoader>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <algorithm>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
QT_END_NAMESPACE

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

MediaEngine *loaded = nullptr;
QOpenGLContext *ownShareContext = nullptr;

// How long a title page may take to paint before the preload gives up on it.
constexpr std::chrono::seconds kPaintWait{5};

struct Preload
{
    bool allowed = false;
    bool waiting = false;
    QThread *thread = nullptr;
};

Preload &preload()
{
    static Preload state;
    return state;
}

void releaseShareContext()
{
    if (QOpenGLContext::globalShareContext() == ownShareContext)
        qt_gl_set_global_share_context(nullptr);
    delete ownShareContext;
    ownShareContext = nullptr;
}

// The web engine draws through OpenGL contexts that share with one global context, and its
// library looks for that context the moment it is mapped (warning, and later drawing without it,
// when there is none). Qt::AA_ShareOpenGLContexts would have the application's constructor make
// it: on an X display a GLX context with Mesa's renderer and its threads, tens of milliseconds
// and megabytes at every start for an engine most runs never open. It is made here instead, on
// the GUI thread, just before the engine's libraries are mapped.
void shareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext())
        return;
    ownShareContext = new QOpenGLContext;
    ownShareContext->setFormat(QSurfaceFormat::defaultFormat());
    ownShareContext->create();
    qt_gl_set_global_share_context(ownShareContext);
    qAddPostRoutine(releaseShareContext);
    // Not Qt::AA_ShareOpenGLContexts as well: Qt warns that it is set too late, and the engine
    // and Qt's OpenGL widgets go by the context itself.
}

bool hasBuiltinEngine()
{
    for (QObject *instance : QPluginLoader::staticInstances()) {
        if (qobject_cast<MediaEngine *>(instance))
            return true;
    }
    return false;
}

void waitForPreload()
{
    if (QThread *thread = preload().thread)
        thread->wait();
}

void startPreload()
{
    Preload &state = preload();
    if (loaded || hasBuiltinEngine()) {
        EngineLoader::prepareNativePlayer();
        return;
    }
    if (state.thread) {
        if (state.thread->isFinished())
            EngineLoader::prepareNativePlayer();
        return;
    }
    const QStringList files = EngineLoader::candidates();
    const auto file = std::ranges::find_if(files, [](const QString &f) { return QFileInfo(f).isFile(); });
    if (file == files.end())
        return;
    shareOpenGLContexts();
    // Only the mapping and relocation happen off the GUI thread; engine() still makes the
    // plugin's instance there. A library stays loaded when its QLibrary goes away, and the
    // plugin loader then finds it already mapped.
    state.thread = QThread::create([path = *file] {
        QLibrary library(path);
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        // The plugin's own part of the preparation: what its first player would start.
        if (auto prepare = reinterpret_cast<void (*)()>(library.resolve("tovra_engine_prepare")))
            prepare();
    });
    // Quitting while the libraries are still being mapped would run their constructors against
    // a process tearing itself down.
    qAddPostRoutine(waitForPreload);
    // Mapped, the engine starts a spare player while the user is still reading the page.
    QObject::connect(state.thread, &QThread::finished, qApp, [] { EngineLoader::prepareNativePlayer(); });
    state.thread->start(QThread::LowPriority);
}

}

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
    if (loaded)
        return loaded;
    // A program that links the engine in (the engine's own tests) has it as a static plugin.
    for (QObject *instance : QPluginLoader::staticInstances()) {
        if (auto *engine = qobject_cast<MediaEngine *>(instance))
            return loaded = engine;
    }
    // A click during the preload waits for the rest of it rather than map the same files twice.
    waitForPreload();
    QStringList reasons;
    for (const QString &file : candidates()) {
        if (!QFileInfo(file).isFile()) {
            reasons << file + u": not found"_s;
            continue;
        }
        shareOpenGLContexts();
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

void EngineLoader::preloadAfterPaint(QWidget *page)
{
    Preload &state = preload();
    if (!state.allowed || state.waiting || !page)
        return;
    state.waiting = true;
    QCoro::connect(afterNextPaint(page, kPaintWait), qApp, [page = QPointer(page)] {
        preload().waiting = false;
        if (page)
            startPreload();
    });
}

void EngineLoader::prepareNativePlayer()
{
    QThread *thread = preload().thread;
    if (!loaded && !hasBuiltinEngine() && !(thread && thread->isFinished()))
        return;
    if (const auto engine = EngineLoader::engine())
        (*engine)->prepareNativePlayer();
}

void EngineLoader::setPreloadAllowed(bool allowed)
{
    preload().allowed = allowed;
}

}
