#include "platform/linux/fcitx5commit.h"

#include "platform/linux/fcitx5controller.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>

#include <ctime>

namespace {

// How long fcitx5 has to take the text: past this the addon drops it.
constexpr qint64 kCommitBoundMs = 1000;
// How much longer Ferrule waits for the answer to travel back, so that a text
// the addon took is never counted as unanswered (and typed again).
constexpr int kAnswerMarginMs = 250;
// How long fcitx5 has to tell the text before the cursor.
constexpr int kAskBoundMs = 200;
// As many characters as it is asked for: enough to see how the text ends.
constexpr uint kCharactersBefore = 16;

quint64 monotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return quint64(now.tv_sec) * 1000000u + quint64(now.tv_nsec) / 1000u;
}

} // namespace

QString Fcitx5Commit::name() const
{
    return QStringLiteral("fcitx5");
}

bool Fcitx5Commit::isAvailable()
{
    // Asks the bus (bounded) whether fcitx5 owns its name.
    return Fcitx5Controller().isRunning();
}

ImeCommit::Outcome Fcitx5Commit::commit(const QString &text)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("/ferrule"),
        QStringLiteral("org.ferrule.Fcitx5Commit1"), QStringLiteral("CommitText"));
    call << text << qulonglong(monotonicMicroseconds() + kCommitBoundMs * 1000);
    call.setAutoStartService(false);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        call, QDBus::Block, int(kCommitBoundMs) + kAnswerMarginMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply.arguments().value(0).toBool() ? Outcome::Committed : Outcome::NoFocusedContext;
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
        qWarning() << "input method fcitx5 does not answer !";
        return Outcome::NoAnswer;
    }
    if (error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
        qWarning() << "fcitx5 runs without Ferrule's addon (restart fcitx5 after installing) !";
    else
        qWarning().noquote() << "fcitx5 did not take the text:" << error << reply.errorMessage();
    return Outcome::Refused;
}

std::optional<QString> Fcitx5Commit::textBeforeCursor()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("/ferrule"),
        QStringLiteral("org.ferrule.Fcitx5Commit1"), QStringLiteral("TextBeforeCursor"));
    call << kCharactersBefore;
    call.setAutoStartService(false);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kAskBoundMs);
    const QList<QVariant> answer = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || answer.size() != 2 || !answer[0].toBool())
        return std::nullopt;
    return answer[1].toString();
}
