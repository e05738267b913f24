#pragma once

#include "common/prompts.h"
#include "device/devicemanagement.h"

#include <QStringList>

#include <functional>

// The monitor with the prompts it shows noted, its passes driven by the test
// (the prompts return at once and the test runs no event loop for 900 ms: its
// own timer never gets to tick).
class RecordingMonitor : public DeviceManagement
{
public:
    explicit RecordingMonitor(std::unique_ptr<UsbDevices> devices)
        : DeviceManagement(std::move(devices))
    {
    }

    PromptRecorder recorder;
    QStringList &prompts = recorder.texts;
    // Runs while a prompt is on screen.
    std::function<void()> &duringPrompt = recorder.whileShown;

    // One pass; returns its prompts.
    QStringList pass()
    {
        const int before = prompts.size();
        scanDevices();
        return prompts.mid(before);
    }
};
