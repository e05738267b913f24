#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

class QDBusMessage;

// The fcitx5 daemon through its controller on the session bus. Everything it
// answers is about the input context that has the focus. Every call waits a
// bounded time; once one has gone unanswered the rest are not made.
class Fcitx5Controller
{
public:
    // Finds fcitx5 on the session bus. Without a session bus nothing is waited for.
    Fcitx5Controller();

    bool isRunning() const { return running; }
    bool isAnswering() const { return answering; }

    // Whether the focused input context composes (an input method other than
    // the keyboard layout is active in it).
    bool isActive();
    QString currentInputMethod();
    // The keys of a hotkey option of the global configuration, such as
    // "ActivateKeys", in fcitx5's spelling ("Hangul_Hanja", "Control+space").
    QStringList hotkeys(const QString &option);

    void activate();
    void deactivate();
    void setCurrentInputMethod(const QString &name);

private:
    QDBusMessage call(const QString &method, const QVariantList &arguments = {});

    QDBusConnection bus;
    bool running = false;
    bool answering = true;
};
