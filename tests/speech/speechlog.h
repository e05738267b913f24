#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

// Collects the log while alive; the speech engines log from their worker thread too.
class SpeechLog
{
public:
    SpeechLog()
    {
        previous = qInstallMessageHandler(&SpeechLog::handler);
        current() = this;
    }
    ~SpeechLog()
    {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    SpeechLog(const SpeechLog &) = delete;
    SpeechLog &operator=(const SpeechLog &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return m_lines;
    }
    int count(const QString &text) const
    {
        int n = 0;
        for (const QString &line : lines())
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    bool contains(const QString &text) const { return count(text) > 0; }

private:
    static SpeechLog *&current()
    {
        static SpeechLog *log = nullptr;
        return log;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (SpeechLog *log = current()) {
            QMutexLocker lock(&log->mutex);
            log->m_lines << message;
        }
    }
    mutable QMutex mutex;
    QStringList m_lines;
    QtMessageHandler previous = nullptr;
};
