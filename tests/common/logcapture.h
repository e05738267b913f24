#pragma once

#include "common/prompts.h"

#include <QApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QThread>
#include <QtGlobal>

// Collects the log while alive, so a test can check the lines a failure writes.
// Lines come from worker threads too (the speech engines log from theirs).
class LogCapture
{
public:
    struct Line
    {
        QString text;
        bool onGuiThread = false;
        // The prompt boxes on screen as the line was written (GUI thread only).
        QStringList prompts;
    };

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

    QList<Line> entries() const
    {
        QMutexLocker lock(&mutex);
        return m_entries;
    }
    QStringList lines() const
    {
        QStringList texts;
        for (const Line &line : entries())
            texts << line.text;
        return texts;
    }
    // Lines that contain text.
    int count(const QString &text) const { return lines().filter(text).size(); }
    bool contains(const QString &text) const { return count(text) > 0; }
    void clear()
    {
        QMutexLocker lock(&mutex);
        m_entries.clear();
    }

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        LogCapture *capture = current();
        if (!capture)
            return;
        Line line{message, false, {}};
        if (qobject_cast<QApplication *>(QCoreApplication::instance()) &&
            QThread::currentThread() == qApp->thread()) {
            line.onGuiThread = true;
            line.prompts = shownPrompts();
        }
        QMutexLocker lock(&capture->mutex);
        capture->m_entries << line;
    }

    mutable QMutex mutex;
    QList<Line> m_entries;
    QtMessageHandler previous = nullptr;
};
