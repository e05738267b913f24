#pragma once

// True in a Wayland session: WAYLAND_DISPLAY is set, or the session manager
// says XDG_SESSION_TYPE=wayland. Programs started from such a session may still
// see a DISPLAY: that is XWayland, which shows them only X11 windows. Its
// keyboard focus says nothing about native windows and XTest reaches none of
// them, so there text goes through the user's input method only.
bool isWaylandSession();
