#include "ferrulecommit.h"

#include <dbus_public.h>
#include <fcitx-utils/event.h>
#include <fcitx-utils/log.h>
#include <fcitx-utils/utf8.h>
#include <fcitx/inputcontext.h>
#include <wayland_public.h>
#include <xcb_public.h>

#include <wayland-client.h>

#include <algorithm>
#include <string_view>

namespace fcitx {

namespace {

// xterm went away on a commit of about 1100 bytes through XIM, and took 300
// well: XIM clients get long texts in pieces of this many bytes at most.
constexpr size_t kXimPieceBytes = 200;

void commitInPieces(InputContext *context, const std::string &text, size_t pieceBytes)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.size(), start + pieceBytes);
        // Cut only before the first byte of a character.
        while (end < text.size() && end > start && (uint8_t(text[end]) & 0xc0) == 0x80)
            --end;
        context->commitString(text.substr(start, end - start));
        start = end;
    }
}

} // namespace

bool FerruleCommitObject::commitText(const std::string &text, uint64_t deadline)
{
    return addon_->commit(text, deadline);
}

std::tuple<bool, std::string> FerruleCommitObject::textBeforeCursor(uint32_t count)
{
    const std::optional<std::string> before = addon_->textBeforeCursor(count);
    return {before.has_value(), before.value_or(std::string())};
}

FerruleCommit::FerruleCommit(Instance *instance) : instance_(instance)
{
    AddonInstance *bus = dbus();
    if (!bus)
        throw std::runtime_error("Ferrule's commit call needs fcitx5's dbus module");
    bus->call<IDBusModule::bus>()->addObjectVTable("/ferrule", "org.ferrule.Fcitx5Commit1",
                                                   object_);
    // The callbacks run at once for the connections already open.
    if (AddonInstance *wl = wayland()) {
        watches_.push_back(wl->call<IWaylandModule::addConnectionCreatedCallback>(
            [this](const std::string &name, wl_display *display, FocusGroup *) {
                waylandDisplays_[name] = display;
            }));
        watches_.push_back(wl->call<IWaylandModule::addConnectionClosedCallback>(
            [this](const std::string &name, wl_display *) { waylandDisplays_.erase(name); }));
    }
    if (AddonInstance *x = xcb()) {
        watches_.push_back(x->call<IXCBModule::addConnectionCreatedCallback>(
            [this](const std::string &name, xcb_connection_t *connection, int, FocusGroup *) {
                xDisplays_[name] = connection;
            }));
        watches_.push_back(x->call<IXCBModule::addConnectionClosedCallback>(
            [this](const std::string &name, xcb_connection_t *) { xDisplays_.erase(name); }));
    }
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
    if (std::string_view(focused->frontend()) == "xim")
        commitInPieces(focused, text, kXimPieceBytes);
    else
        focused->commitString(text);
    flush();
    return true;
}

std::optional<std::string> FerruleCommit::textBeforeCursor(size_t count)
{
    InputContext *focused = instance_->lastFocusedInputContext();
    if (!focused)
        return std::nullopt;
    // Anyone on the session bus may ask: a password field's text is told to
    // nobody (Qt and GTK hide it themselves; others may not).
    const CapabilityFlags flags = focused->capabilityFlags();
    if (!flags.test(CapabilityFlag::SurroundingText) ||
        flags.testAny(CapabilityFlag::PasswordOrSensitive))
        return std::nullopt;
    const SurroundingText &surrounding = focused->surroundingText();
    const std::string &text = surrounding.text();
    if (!surrounding.isValid() || !utf8::validate(text))
        return std::nullopt;
    const size_t end = std::min(surrounding.cursor(), surrounding.anchor());
    if (end > utf8::length(text))
        return std::nullopt;
    const size_t start = end > count ? end - count : 0;
    const auto from = utf8::nextNChar(text.begin(), start);
    return std::string(from, utf8::nextNChar(from, end - start));
}

// fcitx5 sends what it queued for a compositor or an X server (XIM) only
// after it has read something from it (a key, a focus change): a commit made
// on a bus call would otherwise wait there until the user's next key.
void FerruleCommit::flush()
{
    for (const auto &display : waylandDisplays_)
        wl_display_flush(display.second);
    for (const auto &display : xDisplays_)
        xcb_flush(display.second);
}

AddonInstance *FerruleCommitFactory::create(AddonManager *manager)
{
    return new FerruleCommit(manager->instance());
}

} // namespace fcitx

FCITX_ADDON_FACTORY(fcitx::FerruleCommitFactory);
