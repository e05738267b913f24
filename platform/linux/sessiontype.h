#pragma once

// True in a Wayland session: WAYLAND_DISPLAY is set, or the session manager
// says XDG_SESSION_TYPE=wayland. Programs started from such a session may still
// see a DISPLAY: that is XWayland, which shows them only X11 windows.
bool isWaylandSession();
