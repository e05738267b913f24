#include "platform/linux/targetping.h"

#include "platform/linux/x11windows.h"

#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

namespace {

bool answersPing(Display *display, Window window, Atom ping)
{
    Atom *protocols = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display, window, &protocols, &count))
        return false;
    bool found = false;
    for (int i = 0; i < count; ++i)
        found = found || protocols[i] == ping;
    XFree(protocols);
    return found;
}

} // namespace

TargetPing::TargetPing(_XDisplay *display, unsigned long focus) : display(display), focus(focus)
{
    root = DefaultRootWindow(display);
    protocolsAtom = XInternAtom(display, "WM_PROTOCOLS", False);
    pingAtom = XInternAtom(display, "_NET_WM_PING", False);
    // The client's top-level window carries the protocols, not the focused
    // child nor a window manager's frame.
    for (Window at = focus; at && at != root; at = X11Windows::parentOf(display, at)) {
        if (answersPing(display, at, pingAtom)) {
            window = at;
            break;
        }
    }
    // Clients answer with either of these masks on the root window (Qt uses
    // the structure one), so listen for both.
    if (window)
        XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
}

bool TargetPing::roundTrip(int timeoutMs)
{
    if (!window)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocolsAtom;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(pingAtom);
    event.xclient.data.l[1] = ++serial;
    event.xclient.data.l[2] = long(window);
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);

    // The answer goes to the root window, where we listen for it.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        while (XPending(display)) {
            XEvent reply;
            XNextEvent(display, &reply);
            if (reply.type == ClientMessage && reply.xclient.message_type == protocolsAtom &&
                reply.xclient.data.l[0] == long(pingAtom) && reply.xclient.data.l[1] == serial)
                return true;
        }
        Window now = 0;
        int revert = 0;
        XGetInputFocus(display, &now, &revert);
        if (now != focus)
            break;
        // The answer may have come in with the focus reply: Xlib has read it
        // off the connection already, and polling would wait for nothing.
        if (XEventsQueued(display, QueuedAlready))
            continue;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, 20);
    }
    window = 0;
    return false;
}
