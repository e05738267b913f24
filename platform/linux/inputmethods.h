#pragma once

#include <QString>
#include <memory>

class IBusInput;

// The input method that serves the focused window, looked at before a typing
// run, and what typing must do so that it composes none of the typed text:
// - fcitx5 composing: switch it off for the keys and on again after them, with
//   its own deactivate and activate keys, sent in the stream of typed keys so
//   that the order holds whatever the path the keys take (Qt, GTK, XIM);
// - IBus with a composing engine: type ASCII characters as Unicode keysyms,
//   which its engines do not compose, so its state is never touched.
// Afterwards the input method is as the user left it.
class InputMethods
{
public:
    using Sym = unsigned long; // an X keysym

    // Costs nothing without a session bus or an IBus address.
    InputMethods();
    ~InputMethods();
    InputMethods(const InputMethods &) = delete;
    InputMethods &operator=(const InputMethods &) = delete;

    // The keys that switch composing off and on, 0 when there are none.
    Sym offKey() const { return off; }
    Sym onKey() const { return on; }
    // Whether ASCII characters must be typed as Unicode keysyms.
    bool passAscii() const { return ascii; }
    // One call through IBus and back, the road the windows' keys take too;
    // false past fcitx5, with no input method, or when IBus does not answer.
    bool callIBus();

    // Switches composing off over the bus instead of with the keys; then the
    // target must have read every typed key before restore().
    void switchOff();
    bool isSwitchedOff() const { return switchedOff; }

    // Waits at most timeoutMs until the focused input context composes (on)
    // or does not; false when it did not come to that.
    bool waitUntilComposing(bool on, int timeoutMs);
    // The focus left while composing was off in the window typed into.
    void leftOff() { switchedOff = true; }

    // Puts the input method back as it was. focusKept is false when typing
    // stopped because the focus left the window.
    void restore(bool focusKept);

private:
    struct Fcitx5;
    std::unique_ptr<Fcitx5> fcitx5;
    std::unique_ptr<IBusInput> ibus;
    Sym off = 0;
    Sym on = 0;
    bool ascii = false;
    bool switchedOff = false;
};
