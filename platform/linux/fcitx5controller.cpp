#include "platform/linux/fcitx5controller.h"

#include "platform/linux/busprobe.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDebug>
#include <QMap>

namespace {

const QString kService = QStringLiteral("org.fcitx.Fcitx5");

// fcitx5 answers in milliseconds, but may be busy for a good part of a second
// (loading a dictionary at the first switch to Pinyin, saving what it learnt);
// a daemon that takes longer is stuck.
constexpr int kCallTimeoutMs = 1000;

// State() of an input context that composes.
constexpr int kActiveState = 2;

// Values of the configuration come as variants of maps of variants.
QVariant unwrap(QVariant value)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentType() == QDBusArgument::MapType) {
            QVariantMap map;
            argument >> map;
            return map;
        }
    }
    return value;
}

QDBusConnection sessionBus()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty() || !busAnswers(address, kCallTimeoutMs))
        return QDBusConnection(QString());
    return QDBusConnection::sessionBus();
}

} // namespace

Fcitx5Controller::Fcitx5Controller() : bus(sessionBus())
{
    if (!bus.isConnected())
        return;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << kService;
    const QDBusMessage reply = bus.call(ask, QDBus::Block, kCallTimeoutMs);
    running = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

QDBusMessage Fcitx5Controller::call(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/controller"),
                                       QStringLiteral("org.fcitx.Fcitx.Controller1"), method);
    if (!running || !answering)
        return message.createErrorReply(QDBusError::Disconnected, QString());
    message.setArguments(arguments);
    // Asking must never be what starts fcitx5 (the bus could, on a call to its name).
    message.setAutoStartService(false);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage &&
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
        answering = false;
        qWarning() << "input method fcitx5 does not answer !";
    }
    return reply;
}

bool Fcitx5Controller::isActive()
{
    return call(QStringLiteral("State")).arguments().value(0).toInt() == kActiveState;
}

QString Fcitx5Controller::currentInputMethod()
{
    return call(QStringLiteral("CurrentInputMethod")).arguments().value(0).toString();
}

QStringList Fcitx5Controller::hotkeys(const QString &option)
{
    const QDBusMessage reply =
        call(QStringLiteral("GetConfig"), {QStringLiteral("fcitx://config/global")});
    const QVariantMap hotkey =
        unwrap(unwrap(reply.arguments().value(0)).toMap().value(QStringLiteral("Hotkey"))).toMap();
    // A list is a map from "0", "1" ... to the keys.
    QMap<int, QString> ordered;
    const QVariantMap list = unwrap(hotkey.value(option)).toMap();
    for (auto it = list.cbegin(); it != list.cend(); ++it)
        ordered.insert(it.key().toInt(), unwrap(it.value()).toString());
    return ordered.values();
}

void Fcitx5Controller::activate()
{
    call(QStringLiteral("Activate"));
}

void Fcitx5Controller::deactivate()
{
    call(QStringLiteral("Deactivate"));
}

void Fcitx5Controller::setCurrentInputMethod(const QString &name)
{
    call(QStringLiteral("SetCurrentIM"), {name});
}
