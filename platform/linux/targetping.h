#pragma once

#include <QtGlobal>

struct _XDisplay;

// Asks the window that has the keyboard focus to answer a ping (_NET_WM_PING)
// and waits for the answer. Events reach a client in order, so once the
// answer has come the window has handled every key press and keyboard-map
// change sent before the ping.
class TargetPing
{
public:
    TargetPing(_XDisplay *display, unsigned long focus);

    // False when the window does not answer pings (xterm, for one).
    bool isAvailable() const { return window != 0; }

    // Sends a ping and waits for the answer, at most timeoutMs and only while
    // the focus stays put. A window that does not answer is not asked again.
    bool roundTrip(int timeoutMs);

private:
    _XDisplay *display;
    unsigned long focus;
    unsigned long root = 0;
    unsigned long window = 0;
    unsigned long protocolsAtom = 0;
    unsigned long pingAtom = 0;
    long serial = 0;
};
