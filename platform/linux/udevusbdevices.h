#pragma once

#include "platform/usbdevices.h"

#include <memory>

// When the list may be kept between calls: only a udev daemon broadcasts the
// changes, so without one (a container, a minimal system) every call reads
// the whole list again.
enum class UsbChangeWatch
{
    WhenUdevRuns,
    Always,
    Never
};

// The USB devices as sysfs lists them, with udev telling when they change.
std::unique_ptr<UsbDevices> createUsbDevices(UsbChangeWatch watch = UsbChangeWatch::WhenUdevRuns);
