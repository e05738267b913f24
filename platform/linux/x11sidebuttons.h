#pragma once

#include "platform/sidebuttons.h"

#include <memory>

// XInput 2.1 raw button events 8 and 9 of the master devices, on an X
// connection of their own, drained on the GUI thread. Null, with the reason
// logged, without an X display or XInput 2.1.
std::unique_ptr<SideButtons> watchX11SideButtons(SideButtons::Handler handler);
