#include "platform/linux/linuxplatform.h"

#include "platform/linux/desktopprogramnames.h"
#include "platform/linux/evdevsidebuttons.h"
#include "platform/linux/fcitx5commit.h"
#include "platform/linux/ibuscommit.h"
#include "platform/linux/ownwindow.h"
#include "platform/linux/sessiontype.h"
#include "platform/linux/textinput.h"
#include "platform/linux/udevusbdevices.h"
#include "platform/linux/x11sidebuttons.h"
#include "platform/linux/xdgautostart.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

std::unique_ptr<Platform> systemPlatform()
{
    return std::make_unique<LinuxPlatform>();
}

LinuxPlatform::LinuxPlatform()
{
    TextInput::restoreLentKeycodes();
    inputMethods.push_back(std::make_unique<Fcitx5Commit>());
    inputMethods.push_back(std::make_unique<IBusCommit>());
}

TypingTarget LinuxPlatform::typingTarget()
{
    TypingTarget target;
    if (isWaylandSession()) {
        target.desktop = true;
        target.window = target.focus = kInputMethodFocus;
        return target;
    }
    TextInput input;
    target.desktop = input.isConnected();
    target.window = input.foregroundWindow();
    target.focus = input.focusWindow(target.window);
    target.owner = input.windowOwner(target.window);
    return target;
}

int LinuxPlatform::type(const QString &text, const TypingTarget &target)
{
    const int length = text.toUcs4().size();
    if (isWaylandSession()) {
        if (text.isEmpty())
            return 0;
        if (commitThroughInputMethods(inputMethods, text))
            return length;
        qWarning() << "no input method took the text, nothing typed !";
        return -1;
    }
    TextInput input;
    if (text.isEmpty() || !target.focus)
        return 0;
    if (input.focusWindow(target.window) != target.focus) {
        qDebug() << "focus changed, typing stopped !";
        return 0;
    }
    // Our own windows take the text directly, on this thread.
    const int own = typeIntoOwnWindow(text, target.focus);
    if (own >= 0)
        return own;
    if (commitThroughInputMethods(inputMethods, text))
        return length;
    qDebug() << "typing with XTest";
    return input.type(text, target.focus);
}

std::optional<QString> LinuxPlatform::textBeforeCursor(const TypingTarget &target)
{
    // Only an input method that serves the focused control knows its text;
    // the same on X11 and on Wayland.
    if (!target.focus)
        return std::nullopt;
    for (const std::unique_ptr<ImeCommit> &inputMethod : inputMethods) {
        if (std::optional<QString> before = inputMethod->textBeforeCursor())
            return before;
    }
    return std::nullopt;
}

bool LinuxPlatform::openUrl(const QUrl &url)
{
    qDebug().noquote() << "open url" << url.toEncoded();
    return QDesktopServices::openUrl(url);
}

QString LinuxPlatform::findProgram(DesktopProgram program)
{
    for (const QString &name : desktopProgramNames(program)) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

bool LinuxPlatform::startDetached(const QString &program, const QStringList &arguments)
{
    qDebug().noquote() << "start" << program << arguments.join(QLatin1Char(' '));
    if (!QProcess::startDetached(program, arguments)) {
        qWarning().noquote() << "start" << program << "failed !";
        return false;
    }
    return true;
}

bool LinuxPlatform::runAndWait(const QString &program, const QStringList &arguments, int timeoutMs)
{
    qDebug().noquote() << "run" << program << arguments.join(QLatin1Char(' '));
    // Owned by the application so that a program that outlives the wait is
    // neither killed nor leaked: the object goes when the program ends.
    auto *process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     process, &QObject::deleteLater);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    if (!process->waitForStarted()) {
        qWarning().noquote() << "run" << program << "failed !";
        delete process;
        return false;
    }
    if (!process->waitForFinished(timeoutMs))
        qDebug().noquote() << program << "still running, not waiting any longer !";
    return true;
}

std::unique_ptr<UsbDevices> LinuxPlatform::usbDevices()
{
    return createUsbDevices();
}

std::unique_ptr<SideButtons> LinuxPlatform::watchSideButtons(SideButtons::Handler handler)
{
    // On Wayland the X server (XWayland) sees the mouse only over X11 windows,
    // so the buttons are read where every session gets them: the kernel.
    if (isWaylandSession()) {
        qDebug() << "Side buttons: Wayland session, reading the mice's kernel input devices !";
        return watchEvdevSideButtons(std::move(handler));
    }
    qDebug() << "Side buttons: X11 session, XInput2 raw events of the X server !";
    return watchX11SideButtons(std::move(handler));
}

void LinuxPlatform::setAutoStart(bool enable)
{
    setXdgAutoStart(enable);
}
