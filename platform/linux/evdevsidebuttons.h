#pragma once

#include "platform/sidebuttons.h"

#include <memory>

// The side buttons (BTN_SIDE as 8, BTN_EXTRA as 9) of every mouse's kernel input
// device, for sessions whose display server tells other programs nothing of the
// mouse (Wayland). Mice are found and followed through udev (ID_INPUT_MOUSE=1;
// keyboards are never opened) and read on a thread of their own without a grab,
// so other programs see the mouse unchanged and a busy GUI thread loses nothing.
// Null, with the reason logged, when udev cannot be used at all.
std::unique_ptr<SideButtons> watchEvdevSideButtons(SideButtons::Handler handler);
