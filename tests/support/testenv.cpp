#include "support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

namespace tovra::test {

namespace {

constexpr const char *kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"};

// Where QSettings puts user-scope files for the current environment: the same rule Qt applies at
// its first use, which setPath() has overridden since.
QString userConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

void pointSettingsAt(const QString &folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

}

IsolatedHome::IsolatedHome()
{
    if (!m_dir.isValid())
        return;
    for (const char *name : kVariables)
        m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});

    m_testModeWas = QStandardPaths::isTestModeEnabled();
    QStandardPaths::setTestModeEnabled(false);

    const QDir root(m_dir.path());
    for (const QString &leaf : {QStringLiteral("config"), QStringLiteral("data"), QStringLiteral("cache")})
        root.mkpath(leaf);
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome()));

    pointSettingsAt(configHome());
    // The folder is new and empty, but QSettings keeps a process-wide cache of parsed files;
    // clearing makes sure nothing of an earlier test's settings object survives in it.
    QSettings settings;
    settings.clear();
    settings.sync();
}

IsolatedHome::~IsolatedHome()
{
    if (!m_dir.isValid())
        return;
    {
        // Drop what this test wrote from QSettings' cache before the folder disappears.
        QSettings settings;
        settings.clear();
    }
    for (const SavedVariable &saved : m_saved) {
        if (saved.wasSet)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
    QStandardPaths::setTestModeEnabled(m_testModeWas);
    pointSettingsAt(userConfigFolder());
}

QString IsolatedHome::configHome() const
{
    return m_dir.filePath(QStringLiteral("config"));
}

QString IsolatedHome::dataHome() const
{
    return m_dir.filePath(QStringLiteral("data"));
}

QString IsolatedHome::cacheHome() const
{
    return m_dir.filePath(QStringLiteral("cache"));
}

QString grabToPng(QWidget *widget, const QString &name)
{
    if (!widget)
        return {};
    const QDir folder(QStringLiteral(TOVRA_GRAB_DIR));
    if (!folder.mkpath(QStringLiteral(".")))
        return {};
    // Let pending layout and polish events settle, or the grab shows the widget half laid out.
    widget->ensurePolished();
    QCoreApplication::processEvents();
    const QString file = folder.filePath(name + QStringLiteral(".png"));
    if (!widget->grab().save(file, "PNG"))
        return {};
    return file;
}

bool waitFor(std::function<bool()> cond, int timeoutMs)
{
    // Qt's own wait sleeps 10 ms between looks with the event loop stopped; the web engine, the
    // media backend and the fake site all step through this thread's loop, so each of their steps
    // would wait out a sleep. This one sleeps only until the next event, or a tick at the latest.
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(2);
    while (!cond()) {
        if (clock.elapsed() >= timeoutMs)
            return cond();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

bool runTask(QCoro::Task<> &&task, int timeoutMs)
{
    auto finished = std::make_shared<bool>(false);
    auto loop = std::make_shared<QEventLoop *>(nullptr);
    auto runner = [](QCoro::Task<> inner, std::shared_ptr<bool> done,
                     std::shared_ptr<QEventLoop *> l) -> QCoro::Task<> {
        co_await std::move(inner);
        *done = true;
        if (*l)
            (*l)->quit();
    }(std::move(task), finished, loop);

    if (!*finished) {
        QEventLoop nested;
        *loop = &nested;
        QTimer::singleShot(timeoutMs, &nested, &QEventLoop::quit);
        nested.exec();
        *loop = nullptr;
    }
    return *finished;
}

}
