#pragma once

#include <functional>

// The side buttons (X buttons 8 and 9) of every pointing device, watched for the
// whole desktop while this object lives (Platform::watchSideButtons): the handler
// runs on the GUI thread for each press and release. Watching is passive: the
// buttons keep their own effect in the window under the pointer.
class SideButtons
{
public:
    enum class Event
    {
        Press,
        Release
    };
    using Handler = std::function<void(Event)>;

    // Stops watching.
    virtual ~SideButtons() = default;

protected:
    SideButtons() = default;
    SideButtons(const SideButtons &) = delete;
    SideButtons &operator=(const SideButtons &) = delete;
};
