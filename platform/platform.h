#pragma once

#include "platform/desktopprogram.h"
#include "platform/sidebuttons.h"
#include "platform/usbdevices.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#include <memory>
#include <optional>

// Where typed text would go: the window the user works in and the control in
// it that has the keyboard focus, 0 where there is none.
struct TypingTarget
{
    bool desktop = false; // false: there is no desktop to type into at all
    quint64 window = 0;
    quint64 focus = 0;
    // The process that shows window, 0 when the desktop does not say. The
    // desktop hands a closed window's handles to later windows; with the
    // owner, one place is told from another.
    quint64 owner = 0;
};

// Everything Ferrule asks of the desktop it runs on. The logic reaches the
// desktop only through platform(), so it runs unchanged on another
// implementation: this system's own (platform/linux/), or one that only notes
// what it was asked to do.
class Platform
{
public:
    virtual ~Platform() = default;

    // Typing as the user would, no clipboard: through the user's input method
    // where it serves the focused window, else every character a key press.
    // type() stops as soon as target.focus no longer has the keyboard focus, so
    // nothing goes to another window, and returns how many characters it typed;
    // -1 when the desktop offers no way at all to type into the focused window
    // (then nothing was typed).
    virtual TypingTarget typingTarget() = 0;
    virtual int type(const QString &text, const TypingTarget &target) = 0;
    // The last characters before the cursor (or before the selection) in the
    // control that has the keyboard focus, as the user's input method knows
    // them; nothing when it does not: no input method tells it, or the
    // control keeps it to itself. Asked right before type(), with a short
    // bound.
    virtual std::optional<QString> textBeforeCursor(const TypingTarget &target) = 0;

    // Opens url in the default browser (or whatever handles its scheme).
    virtual bool openUrl(const QUrl &url) = 0;
    // The installed program of that kind, the desktop's first choice where it
    // has several; empty when none is installed.
    virtual QString findProgram(DesktopProgram program) = 0;
    // Starts program so that it keeps running on its own; does not wait.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
    // Runs program and waits until it ends, at most timeoutMs; a program still
    // running then is left running. False when it could not be started.
    virtual bool runAndWait(const QString &program, const QStringList &arguments,
                            int timeoutMs) = 0;

    // The present USB devices, asked for as often as the caller likes.
    virtual std::unique_ptr<UsbDevices> usbDevices() = 0;
    // Starts watching the side buttons; null, with the reason logged, when the
    // desktop offers no way to.
    virtual std::unique_ptr<SideButtons> watchSideButtons(SideButtons::Handler handler) = 0;

    // With true the desktop session starts this program (in the current working
    // folder) from now on; with false it no longer does. Reports nothing: a
    // session that cannot be set up simply does not start Ferrule.
    virtual void setAutoStart(bool enable) = 0;
};

// This system's implementation.
std::unique_ptr<Platform> systemPlatform();

// The implementation in use: the one installed last, else this system's own.
Platform &platform();

// Makes platform() return this one from now on. Start-up installs
// systemPlatform() before anything asks for the desktop.
void installPlatform(std::unique_ptr<Platform> platform);
