#include "platform/linux/x11sidebuttons.h"

#include "platform/linux/clickdispatcher.h"

#include <QDebug>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace {

struct DisplayCloser
{
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

constexpr int firstSideButton = 8;
constexpr int secondSideButton = 9;

// Notes the X errors of the requests made while it lives (a refused grab),
// after waiting for their answers. Xlib's handler is global to the process.
class ErrorTrap
{
public:
    explicit ErrorTrap(Display *display) : display(display)
    {
        XSync(display, False);
        lastError() = Success;
        previous = XSetErrorHandler(&note);
    }
    ~ErrorTrap() { XSetErrorHandler(previous); }
    ErrorTrap(const ErrorTrap &) = delete;
    ErrorTrap &operator=(const ErrorTrap &) = delete;

    int error()
    {
        XSync(display, False);
        return lastError();
    }

private:
    static int &lastError()
    {
        static int code = Success;
        return code;
    }
    static int note(Display *, XErrorEvent *event)
    {
        lastError() = event->error_code;
        return 0;
    }

    Display *display;
    XErrorHandler previous;
};

// Raw events on a connection of our own: they reach every client that asks for
// them (XI 2.1 and later, even while another client holds an implicit grab) and
// take nothing away from the window under the pointer. While exclusive, a
// passive grab of the two buttons on the root window keeps their presses and
// releases from the window under the pointer as well; a click the handler
// hands back is sent on to that window with XTest.
class X11SideButtons : public SideButtons
{
public:
    X11SideButtons(DisplayPtr display, int xiOpcode, Handler handler)
        : display(std::move(display)), xiOpcode(xiOpcode),
          dispatcher(
              std::move(handler), [this] { fetch(); },
              [this](const Click &click) { passOn(click); }),
          notifier(ConnectionNumber(this->display.get()), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { dispatcher.drain(); });
        // Events that arrived while we set up may already sit in Xlib's queue,
        // where the socket notifier never sees them.
        dispatcher.drain();
    }

    ~X11SideButtons() override { setExclusive(false); }

    bool setExclusive(bool exclusive) override
    {
        if (exclusive == grabbed)
            return grabbed;
        if (!exclusive) {
            ungrab();
            qDebug() << "Side buttons: passive again, the window under the pointer sees them !";
            return false;
        }
        int event, error, major, minor;
        if (!XTestQueryExtension(display.get(), &event, &error, &major, &minor)) {
            if (!grabRefused)
                qWarning() << "Side buttons: the X server has no XTest to pass taps on, buttons 8 "
                              "and 9 stay passive !";
            grabRefused = true;
            return false;
        }
        if (!grab()) {
            // Logged once per refusal, not at every look at the setting.
            if (!grabRefused)
                qWarning() << "Side buttons: another program holds buttons 8 and 9, they stay "
                              "passive (a held button also reaches the window under the pointer) !";
            grabRefused = true;
            return false;
        }
        grabRefused = false;
        qDebug()
            << "Side buttons: held back from the window under the pointer, a tap is passed on !";
        return true;
    }

private:
    Window root() const { return DefaultRootWindow(display.get()); }

    bool grab()
    {
        ErrorTrap trap(display.get());
        for (const int button : {firstSideButton, secondSideButton})
            XGrabButton(display.get(), button, AnyModifier, root(), False,
                        ButtonPressMask | ButtonReleaseMask, GrabModeAsync, GrabModeAsync, None,
                        None);
        grabbed = trap.error() == Success;
        if (!grabbed)
            ungrab();
        return grabbed;
    }

    void ungrab()
    {
        ErrorTrap trap(display.get());
        for (const int button : {firstSideButton, secondSideButton})
            XUngrabButton(display.get(), button, AnyModifier, root());
        trap.error();
        grabbed = false;
    }

    void fetch()
    {
        while (XPending(display.get()) > 0) {
            XEvent event;
            XNextEvent(display.get(), &event);
            takeSideButton(&event);
        }
    }

    void takeSideButton(XEvent *event)
    {
        if (event->type == ButtonPress || event->type == ButtonRelease) {
            // While our grab is active the server sends us no raw events, only
            // the grab's core events: a release, or the other button's press.
            const unsigned button = event->xbutton.button;
            if (echoes > 0 && int(button) == echoButton) {
                --echoes; // a replay made while the other button kept the grab active
                return;
            }
            if (button == firstSideButton || button == secondSideButton) {
                Click click;
                click.event = event->type == ButtonPress ? Event::Press : Event::Release;
                click.button = int(button);
                click.timeMs = qint64(event->xbutton.time);
                click.heldBack = true;
                dispatcher.add(click);
            }
            return;
        }
        XGenericEventCookie *cookie = &event->xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode)
            return;
        if (!XGetEventData(display.get(), cookie))
            return;
        if (cookie->evtype == XI_RawButtonPress || cookie->evtype == XI_RawButtonRelease) {
            const auto *raw = static_cast<const XIRawEvent *>(cookie->data);
            if (raw->detail == firstSideButton || raw->detail == secondSideButton) {
                Click click;
                click.event = cookie->evtype == XI_RawButtonPress ? Event::Press : Event::Release;
                click.button = raw->detail;
                click.timeMs = qint64(raw->time);
                if (echoes > 0 && click.button == echoButton)
                    --echoes; // our own replay of a tap
                else {
                    click.heldBack = grabbed && takeGrabbedEvent(click);
                    dispatcher.add(click);
                }
            }
        }
        XFreeEventData(display.get(), cookie);
    }

    // The raw event and the grab's core event of one click come from the same
    // input event, with its time. Once the server has answered a round trip,
    // the core event is in the queue if our grab took the click (it is taken
    // out, the raw event stands for both); when another client's grab was
    // active, that client saw the click and there is none.
    bool takeGrabbedEvent(const Click &click)
    {
        XSync(display.get(), False);
        struct Wanted
        {
            int type;
            unsigned button;
            Time time;
        } wanted{click.event == Event::Press ? ButtonPress : ButtonRelease, unsigned(click.button),
                 Time(click.timeMs)};
        XEvent core;
        return XCheckIfEvent(
            display.get(), &core,
            [](Display *, XEvent *event, XPointer arg) -> Bool {
                const auto *w = reinterpret_cast<const Wanted *>(arg);
                return event->type == w->type && event->xbutton.button == w->button &&
                       event->xbutton.time == w->time;
            },
            reinterpret_cast<XPointer>(&wanted));
    }

    // The window under the pointer gets the click it did not see. The grab is
    // let go for the moment, so that the click does not come back to us through
    // it; its raw events come back all the same and are left out.
    void passOn(const Click &click)
    {
        const bool wasGrabbed = grabbed;
        if (wasGrabbed)
            ungrab();
        // What came before the replay is taken first, so that the next raw
        // events of this button are the replay's own.
        fetch();
        echoButton = click.button;
        echoes = 2;
        XTestFakeButtonEvent(display.get(), unsigned(click.button), True, CurrentTime);
        XTestFakeButtonEvent(display.get(), unsigned(click.button), False, CurrentTime);
        XSync(display.get(), False);
        fetch();
        if (wasGrabbed && !grab())
            qWarning() << "Side buttons: the grab could not be taken back, buttons 8 and 9 are "
                          "passive !";
        qDebug() << "Side buttons: tap of button" << click.button << "passed on to the window !";
    }

    DisplayPtr display;
    int xiOpcode;
    bool grabbed = false;
    bool grabRefused = false;
    int echoButton = 0;
    int echoes = 0;
    ClickDispatcher dispatcher;
    QSocketNotifier notifier;
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
