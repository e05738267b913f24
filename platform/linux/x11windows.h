#pragma once

#include <memory>

struct _XDisplay;

// The windows of an X display as typing sees them: the one the user works in,
// the one with the keyboard focus, the process that owns one. Windows come and
// go while we look at them, so while this object lives X errors are counted
// instead of ending the process, and an answer spoilt by one counts as none.
class X11Windows
{
public:
    using Window = unsigned long; // an X window id

    explicit X11Windows(_XDisplay *display);
    ~X11Windows();
    X11Windows(const X11Windows &) = delete;
    X11Windows &operator=(const X11Windows &) = delete;

    // The window the user works in, 0 when there is none.
    Window foreground() const;
    // The window inside foreground that has the keyboard focus, 0 when the
    // focus is nowhere or in a window that does not belong to foreground.
    Window focusIn(Window foreground) const;
    // The process id that window's program gave it (_NET_WM_PID), 0 when none.
    unsigned long owner(Window window) const;
    // The window that has the keyboard focus, 0 when none.
    Window inputFocus() const;

    // The parent of window, 0 when it has none or is gone.
    static Window parentOf(_XDisplay *display, Window window);

private:
    Window root() const;
    Window topLevelOf(Window window) const;
    bool isInside(Window window, Window ancestor) const;
    unsigned long property(Window window, const char *name, unsigned long type) const;

    struct ErrorTrap;
    _XDisplay *m_display;
    std::unique_ptr<ErrorTrap> m_trap;
};
