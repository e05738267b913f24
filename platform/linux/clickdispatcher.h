#pragma once

#include "platform/sidebuttons.h"

#include <QTimer>

#include <deque>
#include <functional>

// Hands the side-button clicks of a source to its handler on the GUI thread, one
// at a time and in the order they were made. Handlers run nested event loops (a
// prompt's second, a whole recognition): clicks that arrived together (a quick
// click) wait here, and a zero timer hands the next one on inside such a loop,
// so a release is handled at once, nested in its press, like one that arrives later.
class ClickDispatcher
{
public:
    // fetch moves what the source has received meanwhile into the queue (through
    // add); passOn sends a held-back click on to the window under the pointer
    // when the handler asks for it. Both run on the GUI thread.
    ClickDispatcher(SideButtons::Handler handler, std::function<void()> fetch,
                    std::function<void(const SideButtons::Click &)> passOn = {});
    ClickDispatcher(const ClickDispatcher &) = delete;
    ClickDispatcher &operator=(const ClickDispatcher &) = delete;

    void add(const SideButtons::Click &click) { queue.push_back(click); }
    // Fetches and hands on until nothing is left (handlers may nest further drains).
    void drain();

private:
    SideButtons::Handler handler;
    std::function<void()> fetch;
    std::function<void(const SideButtons::Click &)> passOn;
    QTimer pending;
    std::deque<SideButtons::Click> queue;
};
