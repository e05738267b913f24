#include "capture/sidebuttontaps.h"

const SideButtonTaps::Press *SideButtonTaps::slot(int button) const
{
    if (button == 8)
        return &pressed[0];
    if (button == 9)
        return &pressed[1];
    return nullptr;
}

SideButtonTaps::Press *SideButtonTaps::slot(int button)
{
    return const_cast<Press *>(static_cast<const SideButtonTaps *>(this)->slot(button));
}

void SideButtonTaps::press(int button, qint64 timeMs, bool heldBack, bool startedRecording)
{
    if (Press *p = slot(button))
        *p = Press{true, heldBack, startedRecording, false, timeMs};
}

SideButtonTaps::Release SideButtonTaps::release(int button, qint64 timeMs, bool heldBack)
{
    Press *p = slot(button);
    if (!p || !p->down)
        return {};
    p->down = false;
    // Both halves must have been kept from the window: a click it saw half of
    // would arrive there twice, or as a lone release.
    if (!p->heldBack || !heldBack || timeMs - p->timeMs >= tapMs || timeMs < p->timeMs)
        return {};
    p->tapped = true;
    return {true, p->startedRecording};
}

bool SideButtonTaps::tapped(int button) const
{
    const Press *p = slot(button);
    return p && p->tapped;
}
