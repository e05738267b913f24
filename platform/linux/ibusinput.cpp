#include "platform/linux/ibusinput.h"

#include "platform/linux/busprobe.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDebug>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>

namespace {

// As for fcitx5: busy for a moment is fine, longer is stuck.
constexpr int kCallTimeoutMs = 1000;

const QString kConnectionName = QStringLiteral("ferrule-ibus");

// The file ibus-daemon writes, found as libibus finds it: IBUS_ADDRESS_FILE,
// else ~/.config/ibus/bus/<machine id>-unix-<Wayland display> in a Wayland
// session (also where DISPLAY names XWayland), else
// ~/.config/ibus/bus/<machine id>-<host>-<display number>, the host being
// "unix" for a local display.
QString addressFile()
{
    const QString given = qEnvironmentVariable("IBUS_ADDRESS_FILE");
    if (!given.isEmpty())
        return given;
    QString host = QStringLiteral("unix");
    QString number = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (number.isEmpty()) {
        const QString display = qEnvironmentVariable("DISPLAY");
        const int colon = display.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return QString();
        if (colon > 0)
            host = display.left(colon);
        number = display.mid(colon + 1).section(QLatin1Char('.'), 0, 0);
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/ibus/bus/") + QString::fromLatin1(QDBusConnection::localMachineId()) +
           QLatin1Char('-') + host + QLatin1Char('-') + number;
}

// The address the file names, empty when its daemon has gone.
QString addressFromFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    QString address;
    qint64 pid = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("IBUS_ADDRESS="))
            address = QString::fromUtf8(line.mid(13).trimmed());
        else if (line.startsWith("IBUS_DAEMON_PID="))
            pid = line.mid(16).trimmed().toLongLong();
    }
    if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return QString();
    return address;
}

QVariant property(QDBusConnection &bus, const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.IBus"), QStringLiteral("/org/freedesktop/IBus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.IBus") << name;
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return QVariant();
    // A property of variant type comes as a variant in a variant.
    QVariant value = reply.arguments().value(0);
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

// An engine description is a structure: its type name, attachments, then the
// engine's name.
QString engineName(const QVariant &description)
{
    if (description.userType() != qMetaTypeId<QDBusArgument>())
        return QString();
    const QDBusArgument argument = description.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::StructureType)
        return QString();
    QString type, name;
    QVariantMap attachments;
    argument.beginStructure();
    argument >> type >> attachments >> name;
    return type == QLatin1String("IBusEngineDesc") ? name : QString();
}

} // namespace

IBusInput::IBusInput()
{
    address = qEnvironmentVariable("IBUS_ADDRESS");
    if (address.isEmpty())
        address = addressFromFile(addressFile());
}

IBusInput::~IBusInput()
{
    if (connected)
        QDBusConnection::disconnectFromBus(kConnectionName);
}

bool IBusInput::connect()
{
    if (address.isEmpty())
        return false;
    if (connected)
        return true;
    if (!busAnswers(address, kCallTimeoutMs)) {
        qWarning() << "input method IBus does not answer !";
        address.clear();
        return false;
    }
    connected = QDBusConnection::connectToBus(address, kConnectionName).isConnected();
    if (!connected) {
        QDBusConnection::disconnectFromBus(kConnectionName);
        address.clear();
    }
    return connected;
}

QString IBusInput::engine()
{
    if (!connect())
        return QString();
    QDBusConnection bus(kConnectionName);
    return engineName(property(bus, QStringLiteral("GlobalEngine")));
}

bool IBusInput::roundTrip()
{
    if (!connect())
        return false;
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.IBus"), QStringLiteral("/org/freedesktop/IBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    const QDBusMessage reply =
        QDBusConnection(kConnectionName).call(ping, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    // Not asked again in this run: each call would wait the whole timeout.
    qWarning() << "input method IBus does not answer !";
    address.clear();
    return false;
}
