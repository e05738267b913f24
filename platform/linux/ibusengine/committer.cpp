#include "committer.h"

#include "ferrulepipe.h"
#include "globalengine.h"
#include "savedengine.h"

#include <cstring>

namespace {

// A commit that has not happened this long after it was asked for is not
// made at all: Ferrule waits a little longer, then types another way.
constexpr gint64 kCommitDeadlineUs = 800 * 1000;
// How long the engine that comes back gets to show its modes.
constexpr guint kModesWaitMs = 400;

} // namespace

Committer::Committer(IBusBus *bus, GDBusConnection *own, GMainLoop *loop)
    : bus(bus), loop(loop),
      modes(ibus_bus_get_connection(bus), g_dbus_connection_get_unique_name(own))
{
    ibus_bus_set_watch_ibus_signal(bus, TRUE);
    g_signal_connect(bus, "global-engine-changed", G_CALLBACK(&Committer::engineChanged), this);
    noted = globalEngine(bus);
    noteEngine(noted);
}

void Committer::leave(GDBusConnection *own)
{
    const std::string user = userEngineNow();
    const EngineModes::Snapshot before = modesOf(user);
    g_dbus_connection_close_sync(own, nullptr, nullptr);
    if (user.empty())
        return;
    for (int waited = 0; waited < 100 && globalEngine(bus) == user; ++waited)
        g_usleep(10 * 1000);
    if (globalEngine(bus) == user || !setGlobalEngine(bus, user) || before.looks.empty())
        return;
    const gint64 until = g_get_monotonic_time() + gint64(kModesWaitMs) * 1000;
    auto waitFor = [&](auto done) {
        while (!done() && g_get_monotonic_time() < until) {
            if (!g_main_context_iteration(nullptr, FALSE))
                g_usleep(2 * 1000);
        }
        return done();
    };
    if (waitFor([&]() { return modes.hasNewEngine(before); }) && modes.restore(before) > 0)
        waitFor([&]() { return modes.matches(before); });
}

std::string Committer::userEngineNow() const
{
    const std::string now = globalEngine(bus);
    if (!now.empty() && now != kEngineName)
        return now;
    return noted.empty() || noted == kEngineName ? savedEngine() : noted;
}

EngineModes::Snapshot Committer::modesOf(const std::string &engine) const
{
    // IBus's keyboard layouts (xkb:…) have no modes; the properties seen
    // last are then another engine's.
    return g_str_has_prefix(engine.c_str(), "xkb:") ? EngineModes::Snapshot() : modes.current();
}

void Committer::onLine(const std::string &line)
{
    gchar **parts = g_strsplit(line.c_str(), " ", 3);
    const bool valid = g_strv_length(parts) == 3 && g_strcmp0(parts[0], "commit") == 0;
    const std::string id = g_strv_length(parts) >= 2 ? parts[1] : "";
    std::string text;
    if (valid) {
        gsize length = 0;
        guchar *bytes = g_base64_decode(parts[2], &length);
        text.assign(reinterpret_cast<const char *>(bytes), length);
        g_free(bytes);
    }
    g_strfreev(parts);
    if (!valid || busy || !g_utf8_validate(text.c_str(), gssize(text.size()), nullptr)) {
        reply(id + " refused");
        return;
    }
    busy = true;
    request = id;
    pending = text;
    committed = false;
    deadline = g_get_monotonic_time() + kCommitDeadlineUs;
    ibus_bus_get_global_engine_async(bus, kSwitchTimeoutMs, nullptr, &Committer::gotEngine, this);
}

void Committer::onEnd()
{
    quitting = true;
    if (!busy)
        g_main_loop_quit(loop);
}

void Committer::onFocusIn(IBusEngine *engine, const char *client)
{
    if (!busy || committed || pending.empty() || g_get_monotonic_time() > deadline)
        return;
    // Where IBus does not name the client, the stand-in context was ruled
    // out before the switch (gotContext).
    if (g_strcmp0(client, "fake") == 0)
        return;
    ibus_engine_commit_text(engine, ibus_text_new_from_string(pending.c_str()));
    committed = true;
    pending.clear();
    if (switched)
        switchBack();
}

void Committer::engineChanged(IBusBus *, const gchar *name, gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    if (name && *name && g_strcmp0(name, kEngineName) != 0) {
        self->noted = name;
        noteEngine(name);
    }
}

void Committer::gotEngine(GObject *, GAsyncResult *result, gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    IBusEngineDesc *desc = ibus_bus_get_global_engine_async_finish(self->bus, result, nullptr);
    std::string name = engineName(desc);
    if (desc)
        g_object_unref(desc);
    // Left behind by a run that ended in the middle of a commit.
    if (name == kEngineName || name.empty())
        name = savedEngine();
    if (name.empty()) {
        self->finish("refused");
        return;
    }
    self->userEngine = name;
    self->userModes = self->modesOf(name);
    ibus_bus_current_input_context_async(self->bus, kSwitchTimeoutMs, nullptr,
                                         &Committer::gotContext, self);
}

void Committer::gotContext(GObject *, GAsyncResult *result, gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    gchar *path = ibus_bus_current_input_context_async_finish(self->bus, result, nullptr);
    // Where IBus does not say which client an engine serves, the stand-in
    // context that has the focus when no window has is told by its path:
    // IBus makes it first.
    const bool focusIsFake = !path || g_str_has_suffix(path, "/InputContext_1");
    g_free(path);
    if (focusIsFake) {
        self->finish("nofocus");
        return;
    }
    self->switched = false;
    self->back = false;
    ibus_bus_set_global_engine_async(self->bus, kEngineName, kSwitchTimeoutMs, nullptr,
                                     &Committer::switchedAway, self);
}

void Committer::switchedAway(GObject *, GAsyncResult *result, gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    ibus_bus_set_global_engine_async_finish(self->bus, result, nullptr);
    self->switched = true;
    // The engine lives on another connection than the one that switched:
    // its focus-in may come before the answer or after it.
    const gint64 left = self->deadline - g_get_monotonic_time();
    if (self->committed || left <= 0) {
        self->switchBack();
        return;
    }
    self->focusWait = g_timeout_add(guint(left / 1000) + 1, &Committer::focusTimedOut, self);
}

gboolean Committer::focusTimedOut(gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    self->focusWait = 0;
    self->pending.clear();
    self->switchBack();
    return G_SOURCE_REMOVE;
}

void Committer::switchBack()
{
    if (back)
        return;
    back = true;
    if (focusWait) {
        g_source_remove(focusWait);
        focusWait = 0;
    }
    pending.clear();
    ibus_bus_set_global_engine_async(bus, userEngine.c_str(), kSwitchTimeoutMs, nullptr,
                                     &Committer::switchedBack, this);
}

void Committer::switchedBack(GObject *, GAsyncResult *result, gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    if (!ibus_bus_set_global_engine_async_finish(self->bus, result, nullptr) ||
        self->userModes.looks.empty()) {
        self->finish(self->committed ? "committed" : "nofocus");
        return;
    }
    self->modesAsked = false;
    self->modesSince = g_get_monotonic_time();
    g_timeout_add(1, &Committer::checkModes, self);
}

// Waits for the engine that came back to show its modes, sets the user's
// again, and waits until it shows them.
gboolean Committer::checkModes(gpointer data)
{
    auto *self = static_cast<Committer *>(data);
    const bool shown = self->modes.hasNewEngine(self->userModes);
    if (shown && !self->modesAsked) {
        self->modesAsked = true;
        if (self->modes.restore(self->userModes) == 0) {
            self->finish(self->committed ? "committed" : "nofocus");
            return G_SOURCE_REMOVE;
        }
    }
    if ((shown && self->modesAsked && self->modes.matches(self->userModes)) ||
        g_get_monotonic_time() - self->modesSince > gint64(kModesWaitMs) * 1000) {
        self->finish(self->committed ? "committed" : "nofocus");
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

void Committer::finish(const char *outcome)
{
    const bool inTime = g_get_monotonic_time() <= deadline + kCommitDeadlineUs / 4;
    reply(request + ' ' + (inTime || std::strcmp(outcome, "committed") == 0 ? outcome : "late"));
    busy = false;
    pending.clear();
    if (quitting)
        g_main_loop_quit(loop);
}
