#include "device/voicemouseparts.h"

bool matchesMouseInterface(const QByteArray &hardwareId)
{
    return hardwareId.contains("VID_0D8C&PID_0132&REV_0100&MI_00") && hardwareId.contains("USB");
}

bool matchesMouseDevice(const QByteArray &hardwareId)
{
    return hardwareId.contains("VID_04D9&PID_A09F&REV_0237") && hardwareId.contains("USB") &&
           hardwareId.size() == 30;
}

VoiceMouseParts findVoiceMouseParts(const QVector<QByteArrayList> &nodes)
{
    VoiceMouseParts parts;
    for (const QByteArrayList &ids : nodes) {
        if (ids.isEmpty())
            continue;
        const QByteArray &first = ids.first();
        parts.interfacePresent = parts.interfacePresent || matchesMouseInterface(first);
        parts.devicePresent = parts.devicePresent || matchesMouseDevice(first);
    }
    return parts;
}
