#include "platform/linux/waylandsession.h"

#include <QtGlobal>

bool isWaylandSession()
{
    // Every client of a Wayland compositor is given its socket; an X11
    // session (or an Xvfb inside a Wayland one, as the tests run) has none.
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
