#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the debug log while alive, so a test can check the lines a failure writes.
class LogCapture
{
public:
    LogCapture()
    {
        previous = qInstallMessageHandler(&LogCapture::handler);
        current() = this;
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines;

    bool contains(const QString &text) const
    {
        for (const QString &line : lines)
            if (line.contains(text))
                return true;
        return false;
    }

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (current())
            current()->lines << message;
    }
    QtMessageHandler previous = nullptr;
};
