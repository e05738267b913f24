#pragma once

#include "platform/platform.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QUrl>

#include <memory>

// A desktop that notes what the logic asked of it (what would have been typed,
// opened, started) instead of doing it. The side buttons and the USB bus are
// this system's own, for the tests that drive them for real.
//
//   auto *desktop = RecordingPlatform::install();  // platform() is it until the next install
//   ... run the code under test ...
//   desktop->typed, desktop->opened, desktop->started ...
//   installPlatform(systemPlatform());
class RecordingPlatform : public Platform
{
public:
    static RecordingPlatform *install()
    {
        auto *recording = new RecordingPlatform;
        installPlatform(std::unique_ptr<Platform>(recording));
        return recording;
    }

    // Where text would go; a target without a window or focus types nothing.
    // Each desktop has a control of its own, so text typed in one test never
    // joins what the test before typed.
    TypingTarget target{true, 0x400001, nextFocus()};
    // What textBeforeCursor() tells: nothing, as where no input method knows.
    std::optional<QString> beforeCursor;
    // What findProgram finds, by kind ("/usr/bin/gnome-calculator").
    QMap<DesktopProgram, QString> installed;

    QStringList typed;
    QList<QUrl> opened;
    QStringList started; // "program argument ..."
    QStringList ran;     // the same, for the programs waited for
    QList<bool> autoStart;
    // Typing and pages in the order asked for: "type:<text>", "open:<url>".
    QStringList timeline;

    TypingTarget typingTarget() override { return target; }
    int type(const QString &text, const TypingTarget &) override
    {
        typed << text;
        timeline << QStringLiteral("type:") + text;
        return text.size();
    }
    std::optional<QString> textBeforeCursor(const TypingTarget &) override { return beforeCursor; }
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        timeline << QStringLiteral("open:") + url.toString();
        return true;
    }
    QString findProgram(DesktopProgram program) override { return installed.value(program); }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        started << (QStringList{program} + arguments).join(QLatin1Char(' '));
        return true;
    }
    bool runAndWait(const QString &program, const QStringList &arguments, int) override
    {
        ran << (QStringList{program} + arguments).join(QLatin1Char(' '));
        return true;
    }
    std::unique_ptr<UsbDevices> usbDevices() override { return system->usbDevices(); }
    std::unique_ptr<SideButtons> watchSideButtons(SideButtons::Handler handler) override
    {
        return system->watchSideButtons(std::move(handler));
    }
    void setAutoStart(bool enable) override { autoStart << enable; }

private:
    static quint64 nextFocus()
    {
        static quint64 focus = 0x400002;
        return focus++;
    }

    std::unique_ptr<Platform> system = systemPlatform();
};
