#include "platform/linux/x11windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <memory>

namespace {

int &errorCount()
{
    static int count = 0;
    return count;
}

int countError(Display *, XErrorEvent *)
{
    ++errorCount();
    return 0;
}

struct XFreer
{
    void operator()(void *data) const { XFree(data); }
};

} // namespace

// Counts the display's errors while it lives; what was sent before it ends is
// answered first, so its errors are counted too.
struct X11Windows::ErrorTrap
{
    explicit ErrorTrap(Display *display) : display(display), previous(XSetErrorHandler(&countError))
    {
    }
    ~ErrorTrap()
    {
        XSync(display, False);
        XSetErrorHandler(previous);
    }
    ErrorTrap(const ErrorTrap &) = delete;
    ErrorTrap &operator=(const ErrorTrap &) = delete;

    Display *display;
    XErrorHandler previous;
};

X11Windows::X11Windows(_XDisplay *display)
    : m_display(display), m_trap(std::make_unique<ErrorTrap>(display))
{
}

X11Windows::~X11Windows() = default;

X11Windows::Window X11Windows::root() const
{
    return DefaultRootWindow(m_display);
}

X11Windows::Window X11Windows::parentOf(_XDisplay *display, Window window)
{
    Window rootReturn = 0, parent = 0;
    Window *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count))
        return 0;
    if (children)
        XFree(children);
    return parent;
}

// The child of the root window that holds window.
X11Windows::Window X11Windows::topLevelOf(Window window) const
{
    while (window) {
        const Window parent = parentOf(m_display, window);
        if (!parent || parent == root())
            return parent ? window : 0;
        window = parent;
    }
    return 0;
}

bool X11Windows::isInside(Window window, Window ancestor) const
{
    for (; window && window != root(); window = parentOf(m_display, window))
        if (window == ancestor)
            return true;
    return false;
}

X11Windows::Window X11Windows::inputFocus() const
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        return 0;
    return focus;
}

// A window property of one 32-bit item of type, 0 when there is none.
unsigned long X11Windows::property(Window window, const char *name, unsigned long type) const
{
    const Atom atom = XInternAtom(m_display, name, True);
    if (atom == None)
        return 0;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(m_display, window, atom, 0, 1, False, type, &actual,
                                          &format, &count, &after, &data);
    std::unique_ptr<unsigned char, XFreer> owned(data);
    if (status != Success || actual != type || format != 32 || count != 1 || !data)
        return 0;
    return *reinterpret_cast<unsigned long *>(data);
}

X11Windows::Window X11Windows::foreground() const
{
    if (const Window active = property(root(), "_NET_ACTIVE_WINDOW", XA_WINDOW))
        return active;
    // Without a window manager there is no active window: the top-level
    // window that holds the keyboard focus is the one the user works in.
    const Window focus = inputFocus();
    const int errors = errorCount();
    const Window top = focus ? topLevelOf(focus) : 0;
    XSync(m_display, False);
    return errorCount() == errors ? top : 0;
}

X11Windows::Window X11Windows::focusIn(Window foreground) const
{
    const Window focus = inputFocus();
    if (!focus)
        return 0;
    const int errors = errorCount();
    // A window manager may keep the focus on the frame around the window.
    const bool related = isInside(focus, foreground) || isInside(foreground, focus);
    XSync(m_display, False);
    return related && errorCount() == errors ? focus : 0;
}

unsigned long X11Windows::owner(Window window) const
{
    const int errors = errorCount();
    const unsigned long owner = property(window, "_NET_WM_PID", XA_CARDINAL);
    XSync(m_display, False);
    return errorCount() == errors ? owner : 0;
}
