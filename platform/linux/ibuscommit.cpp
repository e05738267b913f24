#include "platform/linux/ibuscommit.h"

#include "buildconfig.h"
#include "platform/linux/ibusinput.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QFileInfo>

namespace {

// How long a commit may take, from the call to the engine's answer: the
// engine itself gives up committing a little earlier (ferrule-ibus-engine),
// so that text not committed by then is never committed late, after Ferrule
// has typed it another way.
constexpr int kCommitTimeoutMs = 1200;
// How long the engine may take to come up on the bus when it is first needed.
constexpr int kStartTimeoutMs = 1000;

// Milliseconds on the monotonic clock: a wall clock set back or forward
// meanwhile would stretch a wait or cut it short.
qint64 now()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

// The engine in the build tree (scripts/run, the tests), else the installed one.
QString engineProgram()
{
    const QString built = QStringLiteral(FERRULE_IBUS_ENGINE_BUILT);
    return QFileInfo(built).isExecutable() ? built : QStringLiteral(FERRULE_IBUS_ENGINE_INSTALLED);
}

} // namespace

IBusCommit::IBusCommit()
{
    engine.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    start();
}

IBusCommit::~IBusCommit()
{
    if (engine.state() == QProcess::NotRunning)
        return;
    // The closed pipe tells the engine to switch back anything it switched
    // and to end.
    engine.closeWriteChannel();
    if (!engine.waitForFinished(2000)) {
        engine.kill();
        engine.waitForFinished(1000);
    }
}

bool IBusCommit::start()
{
    if (!IBusInput().isRunning())
        return false;
    engine.start(engineProgram(), {QStringLiteral("--ferrule")});
    if (!engine.waitForStarted(kStartTimeoutMs)) {
        qWarning().noquote() << "IBus engine" << engineProgram() << "did not start !";
        state = State::Stopped;
        return false;
    }
    state = State::Starting;
    startedAt = now();
    return true;
}

QByteArray IBusCommit::readLine(qint64 deadline)
{
    // What the engine wrote while nobody read is taken even past the deadline.
    for (;;) {
        if (engine.canReadLine())
            return engine.readLine().trimmed();
        if (engine.state() != QProcess::Running)
            return QByteArray();
        const qint64 left = deadline - now();
        if (!engine.waitForReadyRead(int(qMax<qint64>(left, 0))) && left <= 0)
            return QByteArray();
    }
}

bool IBusCommit::isAvailable()
{
    if (engine.state() == QProcess::NotRunning && !start())
        return false;
    if (state == State::Starting) {
        // Waited for once after a start; a daemon that does not answer then
        // is not waited for again by every typing run.
        const qint64 deadline = qMax(startedAt + kStartTimeoutMs, now());
        const QByteArray line = readLine(deadline);
        if (line == "ready") {
            state = State::Ready;
        } else if (!line.isEmpty() || engine.state() != QProcess::Running) {
            qWarning().noquote() << "IBus engine not on the bus:" << line;
            engine.waitForFinished(1000);
            state = State::Stopped;
        }
    }
    return state == State::Ready && engine.state() == QProcess::Running;
}

ImeCommit::Outcome IBusCommit::commit(const QString &text)
{
    if (!isAvailable())
        return Outcome::NoAnswer;
    const QByteArray id = QByteArray::number(++serial);
    // Answers to commits that were given up on are still in the pipe.
    while (engine.canReadLine())
        engine.readLine();
    engine.write("commit " + id + ' ' + text.toUtf8().toBase64() + '\n');
    const qint64 deadline = now() + kCommitTimeoutMs;
    for (;;) {
        const QByteArray line = readLine(deadline);
        if (line.isEmpty()) {
            qWarning() << "input method IBus does not answer !";
            return Outcome::NoAnswer;
        }
        if (!line.startsWith(id + ' '))
            continue;
        const QByteArray outcome = line.mid(id.size() + 1);
        if (outcome == "committed")
            return Outcome::Committed;
        if (outcome == "nofocus")
            return Outcome::NoFocusedContext;
        if (outcome == "late")
            return Outcome::NoAnswer;
        return Outcome::Refused;
    }
}
