#pragma once

#include "device/devicemanagement.h"

#include <QStringList>
#include <QTimer>

#include <functional>

// The monitor with its prompts recorded instead of shown, and its passes
// driven by the test instead of the timer.
class RecordingMonitor : public DeviceManagement
{
public:
    explicit RecordingMonitor(std::unique_ptr<UsbDevices> devices)
        : DeviceManagement(std::move(devices))
    {
        findChild<QTimer *>()->stop();
    }

    QStringList prompts;
    // Runs while a prompt would be on screen.
    std::function<void()> duringPrompt;

    // One pass; returns its prompts.
    QStringList pass()
    {
        const int before = prompts.size();
        scanDevices();
        return prompts.mid(before);
    }

protected:
    void showPrompt(const QString &text) override
    {
        prompts << text;
        if (duringPrompt)
            duringPrompt();
    }
};
