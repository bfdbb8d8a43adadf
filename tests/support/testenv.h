#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QWidget;

namespace tovra::test {

// Gives a test its own empty home for as long as it lives: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_CACHE_HOME point into a fresh temporary folder, and QSettings' user-scope folder follows
// them. Everything is put back on destruction.
//
// QStandardPaths test mode is not used and is switched off while this lives (and restored after):
// Qt reads the XDG variables on every lookup, so they alone are enough, and test mode would move
// the folders to ~/.qttest and make configHome()/dataHome()/cacheHome() lie. QSettings, unlike
// QStandardPaths, fixes its folders at first use, hence the explicit QSettings::setPath().
//
// Not thread-safe: create it on the test thread before anything reads the environment.
class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome &) = delete;
    IsolatedHome &operator=(const IsolatedHome &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString configHome() const; // <path>/config
    QString dataHome() const;   // <path>/data
    QString cacheHome() const;  // <path>/cache

private:
    struct SavedVariable
    {
        const char *name;
        bool wasSet;
        QByteArray value;
    };

    QTemporaryDir m_dir;
    QList<SavedVariable> m_saved;
    bool m_testModeWas = false;
};

// Renders the widget off screen and writes <build>/grabs/<name>.png for a reviewer to open.
// Answers the file's path, or an empty string when nothing could be written.
QString grabToPng(QWidget *widget, const QString &name);

// Spins the event loop until cond() holds or timeoutMs passes; answers the last cond().
bool waitFor(std::function<bool()> cond, int timeoutMs = 5000);

// Runs a coroutine to completion from plain test code, spinning a nested event loop.
//
// QCoro::waitFor(task) (qcorotask.h, QCoro 0.8) would do, but it waits forever and needs a
// default-constructible result; a hung client must fail one test, not stall the whole run. So
// this answers std::nullopt when the task is still running after timeoutMs. The abandoned
// coroutine stays safe: it only holds shared state and finishes (or not) harmlessly later.
template<class T>
std::optional<T> tryRunTask(QCoro::Task<T> &&task, int timeoutMs = 10000)
{
    struct State
    {
        std::optional<T> result;
        QEventLoop *loop = nullptr;
    };
    auto state = std::make_shared<State>();
    // Parameters, not captures: a coroutine lambda's captures die with the lambda object, its
    // parameters live in the coroutine frame.
    auto runner = [](QCoro::Task<T> inner, std::shared_ptr<State> s) -> QCoro::Task<> {
        s->result.emplace(co_await std::move(inner));
        if (s->loop)
            s->loop->quit();
    }(std::move(task), state);

    if (!state->result) {
        QEventLoop loop;
        state->loop = &loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        state->loop = nullptr;
    }
    if (!state->result)
        return std::nullopt;
    return std::move(*state->result);
}

// As tryRunTask(), for tests that expect the task to finish: a timeout is recorded as a test
// failure, and the answer is then a default-constructed T (std::expected<T, E> holds a default
// T!), so check QTest::currentTestFailed() where that would mislead. A T that cannot be
// default-constructed aborts the run instead.
template<class T>
T runTask(QCoro::Task<T> &&task, int timeoutMs = 10000)
{
    if (auto result = tryRunTask(std::move(task), timeoutMs))
        return std::move(*result);
    QTest::qFail("runTask: the task did not finish in time", __FILE__, __LINE__);
    if constexpr (std::is_default_constructible_v<T>)
        return T{};
    else
        qFatal("runTask: the task did not finish within %d ms", timeoutMs);
}

// Void tasks: answers whether the task finished in time.
bool runTask(QCoro::Task<> &&task, int timeoutMs = 10000);

}
