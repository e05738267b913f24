#pragma once

#include <QtGlobal>

#include <functional>

// The side buttons (X buttons 8 and 9) of every pointing device, watched for the
// whole desktop while this object lives (Platform::watchSideButtons): the handler
// runs on the GUI thread for each press and release, in the order they were made.
// Watching is passive unless setExclusive() holds the buttons back from the
// window under the pointer.
class SideButtons
{
public:
    enum class Event
    {
        Press,
        Release,
        // A mouse with side buttons is there but may not be read (no permission);
        // reported once per watcher, after the reason is logged.
        NoAccess,
    };
    struct Click
    {
        Event event = Event::Press;
        int button = 0; // 8 or 9; 0 for NoAccess
        // When the button moved, in ms on the source's own clock: only the
        // difference between two clicks means anything.
        qint64 timeMs = 0;
        // The window under the pointer has not seen this press or release.
        bool heldBack = false;
    };
    // The return value matters only for the release of a held-back press: true
    // passes that whole click (press and release) on to the window under the
    // pointer, where it does what the button does (Back, Forward).
    using Handler = std::function<bool(const Click &)>;

    // Stops watching (and lets the buttons go).
    virtual ~SideButtons() = default;

    // With true, presses and releases of the side buttons no longer reach the
    // window under the pointer on their own; with false they do again. Returns
    // whether the buttons are now held back: false where the desktop offers no
    // way to (an implementation that can tell why logs it, once).
    virtual bool setExclusive(bool exclusive)
    {
        Q_UNUSED(exclusive)
        return false;
    }

protected:
    SideButtons() = default;
    SideButtons(const SideButtons &) = delete;
    SideButtons &operator=(const SideButtons &) = delete;
};
