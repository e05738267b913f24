#pragma once

#include <fcitx-utils/dbus/objectvtable.h>
#include <fcitx-utils/handlertable.h>
#include <fcitx/addonfactory.h>
#include <fcitx/addoninstance.h>
#include <fcitx/addonmanager.h>
#include <fcitx/instance.h>

#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

struct wl_display;
struct xcb_connection_t;

namespace fcitx {

class FerruleCommit;

// The call Ferrule makes on fcitx5's own session-bus connection, at
// /ferrule, interface org.ferrule.Fcitx5Commit1:
//   CommitText(s text, t deadline) -> b
// commits text whole into the input context that has the focus and answers
// true, or answers false when no input context has the focus. deadline is a
// CLOCK_MONOTONIC time in microseconds: a call read after it (fcitx5 was
// stopped or busy, and Ferrule has stopped waiting and typed another way) is
// dropped, so the text never arrives twice.
//   TextBeforeCursor(u count) -> (b known, s text)
// answers the last count characters before the cursor (before the selection,
// which a commit replaces) in the focused input context, where its client
// tells fcitx5 its surrounding text; known is false where it does not, in a
// password field, or where no input context has the focus.
class FerruleCommitObject : public dbus::ObjectVTable<FerruleCommitObject>
{
public:
    explicit FerruleCommitObject(FerruleCommit *addon) : addon_(addon) {}

    bool commitText(const std::string &text, uint64_t deadline);
    std::tuple<bool, std::string> textBeforeCursor(uint32_t count);

private:
    FerruleCommit *addon_;
    FCITX_OBJECT_VTABLE_METHOD(commitText, "CommitText", "st", "b");
    FCITX_OBJECT_VTABLE_METHOD(textBeforeCursor, "TextBeforeCursor", "u", "bs");
};

class FerruleCommit : public AddonInstance
{
public:
    explicit FerruleCommit(Instance *instance);
    ~FerruleCommit() override;

    bool commit(const std::string &text, uint64_t deadline);
    std::optional<std::string> textBeforeCursor(size_t count);

private:
    void flush();

    Instance *instance_;
    FCITX_ADDON_DEPENDENCY_LOADER(dbus, instance_->addonManager());
    FCITX_ADDON_DEPENDENCY_LOADER(wayland, instance_->addonManager());
    FCITX_ADDON_DEPENDENCY_LOADER(xcb, instance_->addonManager());
    FerruleCommitObject object_{this};
    std::unordered_map<std::string, wl_display *> waylandDisplays_;
    std::unordered_map<std::string, xcb_connection_t *> xDisplays_;
    std::vector<std::unique_ptr<HandlerTableEntryBase>> watches_;
};

class FerruleCommitFactory : public AddonFactory
{
public:
    AddonInstance *create(AddonManager *manager) override;
};

} // namespace fcitx
