#pragma once

#include "platform/linux/imecommit.h"

#include <QProcess>

// Text committed through IBus by an engine of Ferrule's own, which lives in a
// helper process (ferrule-ibus-engine) for Ferrule's whole run: for each
// commit it switches the global engine to itself, commits into the input
// context that has the focus, and switches the user's engine back with its
// modes. Being apart from Ferrule, it answers IBus while Ferrule's GUI thread
// is busy, and when Ferrule ends, even killed, it switches the user's engine
// back before it ends itself.
class IBusCommit : public ImeCommit
{
public:
    // Starts the engine when an IBus daemon is found; does not wait for it.
    IBusCommit();
    ~IBusCommit() override;

    QString name() const override { return QStringLiteral("IBus"); }
    bool isAvailable() override;
    Outcome commit(const QString &text) override;

private:
    bool start();
    // The next line the engine writes, empty when none comes before deadline.
    QByteArray readLine(qint64 deadline);

    QProcess engine;
    enum class State
    {
        Stopped,
        Starting,
        Ready,
    } state = State::Stopped;
    qint64 startedAt = 0;
    int serial = 0;
};
