#pragma once

#include "common/prompts.h"
#include "device/devicemanagement.h"

#include <QStringList>

#include <functional>

// The monitor with the prompts it shows noted, its passes driven by the test
// (its own timer only ever ticks inside a prompt's second, where a tick is skipped).
class RecordingMonitor : public DeviceManagement
{
public:
    explicit RecordingMonitor(std::unique_ptr<UsbDevices> devices)
        : DeviceManagement(std::move(devices))
    {
    }

    PromptWatcher watcher;
    QStringList &prompts = watcher.texts;
    // Runs while a prompt is on screen.
    std::function<void()> &duringPrompt = watcher.whileShown;

    // One pass; returns its prompts.
    QStringList pass()
    {
        const int before = prompts.size();
        scanDevices();
        return prompts.mid(before);
    }
};
