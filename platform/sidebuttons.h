#pragma once

#include <functional>
#include <memory>

// The side buttons (X buttons 8 and 9) of every pointing device, watched for the
// whole desktop. Watching is passive: the buttons keep their own effect in the
// window under the pointer.
class SideButtons
{
public:
    enum class Event
    {
        Press,
        Release
    };
    using Handler = std::function<void(Event)>;

    virtual ~SideButtons() = default;

    // Starts watching; handler runs on the calling thread (the GUI thread) for
    // each press and release. Returns null, with the reason logged, when the
    // desktop offers no way to watch (no X display, no XInput 2.1).
    static std::unique_ptr<SideButtons> watch(Handler handler);

protected:
    SideButtons() = default;
    SideButtons(const SideButtons &) = delete;
    SideButtons &operator=(const SideButtons &) = delete;
};
