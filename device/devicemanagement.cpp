#include "device/devicemanagement.h"

#include "app/promptsink.h"
#include "app/settingkeys.h"
#include "app/settings.h"
#include "platform/platform.h"

#include <QDebug>
#include <QPointer>

DeviceManagement::DeviceManagement(QWidget *parent)
    : DeviceManagement(platform().usbDevices(), parent)
{
}

DeviceManagement::DeviceManagement(std::unique_ptr<UsbDevices> devices, QWidget *parent)
    : QWidget(parent), scanTimer(this), devices(std::move(devices))
{
    connect(&scanTimer, &QTimer::timeout, this, &DeviceManagement::scanDevices);
    scanTimer.start(900);
}

DeviceManagement::~DeviceManagement() = default;

void DeviceManagement::scanDevices()
{
    if (scanning)
        return;
    scanning = true;

    const UsbDeviceList list = devices->presentDevices();
    if (list.listFailed)
        qDebug() << "Get classdev failed !";
    if (list.enumerationFailed)
        qDebug() << "Enum alldev failed !";
    const ConnectionChanges changes = tracker.nextPass(findVoiceMouseParts(list.nodes));

    // Each prompt runs a local event loop, long enough for anything to happen.
    QPointer<DeviceManagement> alive(this);
    SettingsMap *settings = settingsMap();
    if (changes.detected) {
        showPrompt(QStringLiteral("已检测到塔沃鼠标"));
        if (!alive)
            return;
        (*settings)[SettingKey::MonitorTalvoxMouseConnect] = 1;
        saveSettingsMap(settings);
    }
    if (changes.interfaceLost) {
        showPrompt(QStringLiteral("鼠标未连接"));
        if (!alive)
            return;
        (*settings)[SettingKey::MonitorTalvoxMouseConnect] = 0;
        saveSettingsMap(settings);
    }
    if (changes.deviceLost) {
        showPrompt(QStringLiteral("声卡异常"));
        if (!alive)
            return;
    }
    scanning = false;
}
