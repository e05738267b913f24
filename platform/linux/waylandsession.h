#pragma once

// Whether Ferrule runs in a Wayland session. There XWayland's keyboard focus
// says nothing about native windows, and XTest reaches only X11 windows: text
// goes through the user's input method only.
bool isWaylandSession();
