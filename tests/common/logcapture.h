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
        {
            QMutexLocker lock(&guard());
            current() = this;
        }
        previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        // A worker's line still on its way is either in before this or dropped.
        QMutexLocker lock(&guard());
        current() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Line> entries() const
    {
        QMutexLocker lock(&guard());
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
        QMutexLocker lock(&guard());
        m_entries.clear();
    }

private:
    // Guards the capture in use and its lines, against lines from other threads.
    static QMutex &guard()
    {
        static QMutex mutex;
        return mutex;
    }
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        Line line{message, false, {}};
        if (qobject_cast<QApplication *>(QCoreApplication::instance()) &&
            QThread::currentThread() == qApp->thread()) {
            line.onGuiThread = true;
            line.prompts = shownPrompts();
        }
        QMutexLocker lock(&guard());
        if (current())
            current()->m_entries << line;
    }

    QList<Line> m_entries;
    QtMessageHandler previous = nullptr;
};
