#pragma once

#include <QByteArrayList>
#include <QVector>

// The present USB devices and interfaces, each named by its hardware IDs in
// the form Windows gives them: "USB\VID_04D9&PID_A09F&REV_0237" for a device,
// the device's ID plus "&MI_00" for interface 0 of a composite device. The
// most specific ID comes first; a node whose IDs cannot be read has none.
struct UsbDeviceList
{
    QVector<QByteArrayList> nodes;
    // The list could not be obtained at all: nodes is empty.
    bool listFailed = false;
    // The walk over the list ended early; nodes holds what was read before.
    bool enumerationFailed = false;
};

class UsbDevices
{
public:
    virtual ~UsbDevices() = default;

    // All present nodes in enumeration order. Cheap when nothing was plugged
    // in or out since the last call.
    virtual UsbDeviceList presentDevices() = 0;
};
