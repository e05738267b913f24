#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

// What the GNOME Shell of the test (scripts/testenv/with-gnome-shell) says of
// its own state: JavaScript evaluated by the shell, its result as JSON; an
// empty string when the shell does not answer.
inline QString shellEval(const QString &script)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    call << script;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2 ||
        !reply.arguments().at(0).toBool())
        return QString();
    return reply.arguments().at(1).toString();
}

inline bool underGnomeShell()
{
    return qgetenv("FERRULE_DESKTOP") == "gnome-shell";
}

// The input source the shell shows as current, the engine its IBus manager
// follows, and the text of its input-source indicator, as one line.
inline QString shellInputSource()
{
    const QString json = shellEval(QStringLiteral(
        "(() => { const m = imports.ui.status.keyboard.getInputSourceManager();"
        " const s = m.currentSource;"
        " const label = Main.panel.statusArea.keyboard._indicatorLabels[s.index].text;"
        " return [s.type, s.id, imports.misc.ibusManager.getIBusManager()._currentEngineName,"
        " label].join(' '); })()"));
    return json.startsWith(QLatin1Char('"')) ? json.mid(1, json.size() - 2) : json;
}

// The process id of the window the shell gives the keyboard focus; 0 for none.
inline qint64 shellFocusPid()
{
    return shellEval(QStringLiteral("global.display.focus_window ?"
                                    " global.display.focus_window.get_pid() : 0"))
        .toLongLong();
}
