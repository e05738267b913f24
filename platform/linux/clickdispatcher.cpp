#include "platform/linux/clickdispatcher.h"

ClickDispatcher::ClickDispatcher(SideButtons::Handler handler, std::function<void()> fetch,
                                 std::function<void(const SideButtons::Click &)> passOn)
    : handler(std::move(handler)), fetch(std::move(fetch)), passOn(std::move(passOn))
{
    pending.setSingleShot(true);
    pending.setInterval(0);
    QObject::connect(&pending, &QTimer::timeout, [this] { drain(); });
}

void ClickDispatcher::drain()
{
    for (;;) {
        fetch();
        if (queue.empty())
            return;
        const SideButtons::Click next = queue.front();
        queue.pop_front();
        if (!queue.empty())
            pending.start();
        const bool passOnWanted = handler(next);
        if (passOnWanted && passOn && next.heldBack && next.event == SideButtons::Event::Release)
            passOn(next);
    }
}
