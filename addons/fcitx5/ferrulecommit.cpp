#include "ferrulecommit.h"

#include <dbus_public.h>
#include <fcitx-utils/event.h>
#include <fcitx-utils/log.h>
#include <fcitx/inputcontext.h>
#include <wayland_public.h>

#include <wayland-client.h>

namespace fcitx {

bool FerruleCommitObject::commitText(const std::string &text, uint64_t deadline)
{
    return addon_->commit(text, deadline);
}

FerruleCommit::FerruleCommit(Instance *instance) : instance_(instance)
{
    AddonInstance *bus = dbus();
    if (!bus)
        throw std::runtime_error("Ferrule's commit call needs fcitx5's dbus module");
    bus->call<IDBusModule::bus>()->addObjectVTable("/ferrule", "org.ferrule.Fcitx5Commit1",
                                                   object_);
    AddonInstance *wl = wayland();
    if (!wl)
        return;
    // Called at once for the connections already open.
    created_ = wl->call<IWaylandModule::addConnectionCreatedCallback>(
        [this](const std::string &name, wl_display *display, FocusGroup *) {
            displays_[name] = display;
        });
    closed_ = wl->call<IWaylandModule::addConnectionClosedCallback>(
        [this](const std::string &name, wl_display *) { displays_.erase(name); });
}

FerruleCommit::~FerruleCommit() = default;

bool FerruleCommit::commit(const std::string &text, uint64_t deadline)
{
    if (now(CLOCK_MONOTONIC) > deadline) {
        FCITX_WARN() << "Ferrule's commit came after Ferrule stopped waiting, dropped";
        return false;
    }
    InputContext *focused = instance_->lastFocusedInputContext();
    if (!focused)
        return false;
    focused->commitString(text);
    flushWayland();
    return true;
}

// fcitx5 sends what it queued for the compositor only after it has read
// something from it (a key, a focus change): a commit made on a bus call would
// otherwise wait there until the user's next key.
void FerruleCommit::flushWayland()
{
    for (const auto &connection : displays_)
        wl_display_flush(connection.second);
}

AddonInstance *FerruleCommitFactory::create(AddonManager *manager)
{
    return new FerruleCommit(manager->instance());
}

} // namespace fcitx

FCITX_ADDON_FACTORY(fcitx::FerruleCommitFactory);
