#include "platform/linux/x11sidebuttons.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

constexpr int firstSideButton = 8;
constexpr int secondSideButton = 9;

// Raw events on a connection of our own: they reach every client that asks for
// them (XI 2.1 and later, even while another client holds an implicit grab) and
// take nothing away from the window under the pointer.
class X11SideButtons : public SideButtons
{
public:
    X11SideButtons(DisplayPtr display, int xiOpcode, Handler handler)
        : display(std::move(display)), xiOpcode(xiOpcode), handler(std::move(handler)),
          notifier(ConnectionNumber(this->display.get()), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { drain(); });
        pending.setSingleShot(true);
        pending.setInterval(0);
        QObject::connect(&pending, &QTimer::timeout, [this] { drain(); });
        // Events that arrived while we set up may already sit in Xlib's queue,
        // where the socket notifier never sees them.
        drain();
    }

private:
    // Handlers may run nested event loops (a prompt box's second). Events read
    // together (a quick click) wait in the queue, and the timer hands the next
    // one on inside such a loop, so a release is handled at once, nested in the
    // press, as is one that arrives later through the notifier.
    void drain()
    {
        for (;;) {
            while (XPending(display.get()) > 0) {
                XEvent event;
                XNextEvent(display.get(), &event);
                queueSideButton(&event);
            }
            if (queue.empty())
                return;
            const Event next = queue.front();
            queue.pop_front();
            if (!queue.empty())
                pending.start();
            handler(next);
        }
    }

    void queueSideButton(XEvent *event)
    {
        XGenericEventCookie *cookie = &event->xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode)
            return;
        if (!XGetEventData(display.get(), cookie))
            return;
        if (cookie->evtype == XI_RawButtonPress || cookie->evtype == XI_RawButtonRelease) {
            const auto *raw = static_cast<const XIRawEvent *>(cookie->data);
            if (raw->detail == firstSideButton || raw->detail == secondSideButton)
                queue.push_back(cookie->evtype == XI_RawButtonPress ? Event::Press
                                                                    : Event::Release);
        }
        XFreeEventData(display.get(), cookie);
    }

    DisplayPtr display;
    int xiOpcode;
    Handler handler;
    QSocketNotifier notifier;
    QTimer pending;
    std::deque<Event> queue;
};

} // namespace

std::unique_ptr<SideButtons> watchX11SideButtons(SideButtons::Handler handler)
{
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        qWarning() << "Side buttons: no X display, push-to-talk is off !";
        return nullptr;
    }
    int opcode = 0, firstEvent = 0, firstError = 0;
    if (!XQueryExtension(display.get(), "XInputExtension", &opcode, &firstEvent, &firstError)) {
        qWarning() << "Side buttons: the X server has no XInput extension, push-to-talk is off !";
        return nullptr;
    }
    int major = 2, minor = 2;
    if (XIQueryVersion(display.get(), &major, &minor) != Success || major < 2 ||
        (major == 2 && minor < 1)) {
        qWarning() << "Side buttons: the X server lacks XInput 2.1, push-to-talk is off !";
        return nullptr;
    }

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XIEventMask mask;
    // Master devices only: each slave's raw event is repeated by its master.
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(display.get(), DefaultRootWindow(display.get()), &mask, 1);
    XSync(display.get(), False);

    return std::make_unique<X11SideButtons>(std::move(display), opcode, std::move(handler));
}
