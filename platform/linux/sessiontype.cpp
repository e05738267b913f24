#include "platform/linux/sessiontype.h"

#include <QByteArray>
#include <QtGlobal>

bool isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == "wayland";
}
