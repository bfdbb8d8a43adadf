#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the program's own diagnostic lines (category "tovra") while it lives; other output
// still reaches the previous handler so test failures stay readable.
class LogCapture
{
public:
    LogCapture()
    {
        lines().clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
        previous() = m_previous;
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList taken() const { return lines(); }
    void clear() { lines().clear(); }

private:
    static QStringList &lines()
    {
        static QStringList captured;
        return captured;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (context.category && qstrcmp(context.category, "tovra") == 0) {
            lines().append(message);
            return;
        }
        if (previous())
            previous()(type, context, message);
    }

    QtMessageHandler m_previous = nullptr;
};
