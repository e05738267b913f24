#include "app/logtap.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

namespace {
// The taps alive and the handler they were put in front of. Guarded, as lines come
// from worker threads; the handler stays in place only while a tap is alive.
struct Taps
{
    QMutex mutex;
    QList<LogTap *> alive;
    QtMessageHandler previous = nullptr;
};

Taps &taps()
{
    static Taps instance;
    return instance;
}
} // namespace

LogTap::LogTap(const QStringList &prefixes) : m_prefixes(prefixes)
{
    Taps &t = taps();
    QMutexLocker lock(&t.mutex);
    if (t.alive.isEmpty())
        t.previous = qInstallMessageHandler(&LogTap::handler);
    t.alive.append(this);
}

LogTap::~LogTap()
{
    Taps &t = taps();
    QMutexLocker lock(&t.mutex);
    t.alive.removeOne(this);
    if (t.alive.isEmpty())
        qInstallMessageHandler(t.previous);
}

QStringList LogTap::lines() const
{
    QMutexLocker lock(&taps().mutex);
    return m_lines;
}

QString LogTap::mainLine() const
{
    QMutexLocker lock(&taps().mutex);
    return !m_lastWarning.isEmpty() ? m_lastWarning
                                    : (m_lines.isEmpty() ? QString() : m_lines.last());
}

void LogTap::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler previous = nullptr;
    {
        Taps &t = taps();
        QMutexLocker lock(&t.mutex);
        for (LogTap *tap : qAsConst(t.alive)) {
            for (const QString &prefix : qAsConst(tap->m_prefixes)) {
                if (!message.startsWith(prefix))
                    continue;
                tap->m_lines << message;
                if (type != QtDebugMsg && type != QtInfoMsg)
                    tap->m_lastWarning = message;
                break;
            }
        }
        previous = t.previous;
    }
    // Qt hands back its default handler when none was installed, never null.
    if (previous)
        previous(type, context, message);
}
