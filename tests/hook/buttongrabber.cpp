// Another program that holds passive grabs of the side buttons (8 and 9, any
// modifiers) on the root window, as some mouse tools do. Prints "grabbed" once
// the server has them and keeps them until it is ended.
#include <X11/Xlib.h>

#include <cstdio>
#include <initializer_list>
#include <unistd.h>

int main()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    for (unsigned button : {8u, 9u})
        XGrabButton(display, button, AnyModifier, DefaultRootWindow(display), False,
                    ButtonPressMask | ButtonReleaseMask, GrabModeAsync, GrabModeAsync, None, None);
    XSync(display, False);
    std::puts("grabbed");
    std::fflush(stdout);
    for (;;)
        pause();
}
