#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the program's own diagnostic lines ("[Tovra] ...") while it lives, as the message
// pattern writes them out; other output still reaches the previous handler so test failures stay
// readable.
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
        if (message.startsWith(QLatin1String("[Tovra] "))) {
            lines().append(qFormatLogMessage(type, context, message));
            return;
        }
        if (previous())
            previous()(type, context, message);
    }

    QtMessageHandler m_previous = nullptr;
};
