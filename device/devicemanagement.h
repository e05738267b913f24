#pragma once

#include "device/connectiontracker.h"
#include "platform/usbdevices.h"

#include <QTimer>
#include <QWidget>

#include <memory>

// Watches the USB bus for the voice mouse every 900 ms, tells the user when
// it comes or goes and keeps MonitorTalvoxMouseConnect up to date. Never
// shown: it owns the scan timer.
class DeviceManagement : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceManagement(QWidget *parent = nullptr);
    explicit DeviceManagement(std::unique_ptr<UsbDevices> devices, QWidget *parent = nullptr);
    ~DeviceManagement() override;

public slots:
    // One pass. A tick that comes while a pass still shows its prompts is
    // skipped: passes never overlap.
    void scanDevices();

private:
    QTimer scanTimer;
    std::unique_ptr<UsbDevices> devices;
    ConnectionTracker tracker;
    bool scanning = false;
};
