#pragma once

#include "platform/linux/imecommits.h"
#include "platform/platform.h"

// The desktop of a Linux session: text committed through the user's input
// method, or XTest typing past it on X11; xdg-open and the programs on PATH,
// sysfs and udev, XInput 2, XDG autostart.
//
// Typing, per run: where an input method with a commit path (fcitx5 with
// Ferrule's addon, IBus) serves the focused window, the text goes through it
// in one commit, on X11 and on Wayland. Otherwise X11 types with XTest, past
// the input method as before; a Wayland session has no other way, and type()
// answers -1 (nothing typed).
//
// On a Wayland session the focused window is known only to the compositor and
// the input method it tells: typingTarget() names it with kInputMethodFocus
// for both the window and the focus, meaning "the input context that has the
// focus when the text is committed". XWayland's focus is not asked: it says
// nothing about native windows.
class LinuxPlatform : public Platform
{
public:
    static constexpr quint64 kInputMethodFocus = 1;

    // Gives back the keycodes a typing run that died (killed, crashed) left
    // bound, and sets up the input methods' commit paths.
    LinuxPlatform();

    TypingTarget typingTarget() override;
    int type(const QString &text, const TypingTarget &target) override;
    std::optional<QString> textBeforeCursor(const TypingTarget &target) override;
    bool openUrl(const QUrl &url) override;
    QString findProgram(DesktopProgram program) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
    bool runAndWait(const QString &program, const QStringList &arguments, int timeoutMs) override;
    std::unique_ptr<UsbDevices> usbDevices() override;
    std::unique_ptr<SideButtons> watchSideButtons(SideButtons::Handler handler) override;
    void setAutoStart(bool enable) override;

private:
    // Asked in this order; the first that serves the focused window types.
    ImeCommits inputMethods;
};
