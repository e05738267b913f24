#include "device/connectiontracker.h"

ConnectionChanges ConnectionTracker::nextPass(const VoiceMouseParts &parts)
{
    const bool both = parts.interfacePresent && parts.devicePresent;
    ConnectionChanges changes;
    changes.detected = both && !hadBoth;
    changes.interfaceLost = !parts.interfacePresent && hadInterface;
    changes.deviceLost = !parts.devicePresent && hadDevice;
    hadBoth = both;
    hadInterface = parts.interfacePresent;
    hadDevice = parts.devicePresent;
    return changes;
}
