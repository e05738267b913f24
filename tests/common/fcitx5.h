#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QRegularExpression>
#include <QVariant>

// fcitx5's controller on the session bus, as the input-method tests ask it.

inline QVariant fcitx5(const QString &method)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("/controller"),
        QStringLiteral("org.fcitx.Fcitx.Controller1"), method);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 2000).arguments().value(0);
}

// fcitx5's state of the focused window: 1 English, 2 Chinese.
inline int fcitx5State()
{
    return fcitx5(QStringLiteral("State")).toInt();
}

// fcitx5's id of the focused input context, empty when none has the focus.
inline QString fcitx5FocusedContext()
{
    static const QRegularExpression focused(QStringLiteral("IC \\[([0-9a-f]+)\\][^\n]*focus:1"));
    return focused.match(fcitx5(QStringLiteral("DebugInfo")).toString()).captured(1);
}
