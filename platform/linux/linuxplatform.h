#pragma once

#include "platform/linux/imecommit.h"
#include "platform/platform.h"

#include <memory>

// The desktop of a Linux/X11 session: XTest typing past the input method,
// xdg-open and the programs on PATH, sysfs and udev, XInput 2, XDG autostart.
class LinuxPlatform : public Platform
{
public:
    // Gives back the keycodes a typing run that died (killed, crashed) left bound.
    LinuxPlatform();

    TypingTarget typingTarget() override;
    int type(const QString &text, const TypingTarget &target) override;
    bool openUrl(const QUrl &url) override;
    QString findProgram(const QStringList &names) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
    bool runAndWait(const QString &program, const QStringList &arguments, int timeoutMs) override;
    std::unique_ptr<UsbDevices> usbDevices() override;
    std::unique_ptr<SideButtons> watchSideButtons(SideButtons::Handler handler) override;
    void setAutoStart(bool enable) override;

private:
    std::unique_ptr<ImeCommit> ibus;
};
