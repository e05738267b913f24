// ferrule-ibus-engine: Ferrule's IBus engine, in a process of its own.
//
// Ferrule starts it for its whole run (--ferrule) and talks to it in lines:
//   helper:  "ready" once its engine is on the bus, "error <why>" before it ends
//   Ferrule: "commit <id> <base64 of the UTF-8 text>"
//   helper:  "<id> committed" | "<id> nofocus" | "<id> refused" | "<id> late"
// For a commit the global engine is switched to this one (asynchronously:
// IBus calls the engine while it switches), the text is committed when the
// engine's input context takes the focus, and the user's engine is switched
// back with its modes as they were.
//
// Living apart from Ferrule, the engine answers IBus however busy Ferrule's
// GUI thread is, and it outlives Ferrule: when Ferrule ends, killed or not,
// its end of the pipe closes and the user's engine is switched back before
// this process ends. Should this process die as well, IBus itself returns to
// the previous engine once the component registered here goes; and where the
// package installed the engine's description, IBus starts this program
// (--ibus) for the engine left behind, and it switches back to the engine
// noted in the runtime folder.
#include "modes.h"

#include <glib/gstdio.h>
#include <ibus.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr const char *kEngineName = "ferrule";
// A commit that has not happened this long after it was asked for is not
// made at all: Ferrule waits a little longer, then types another way.
constexpr gint64 kCommitDeadlineUs = 800 * 1000;
// How long a switch of the global engine may take before it counts as failed.
constexpr int kSwitchTimeoutMs = 10000;
// How long the engine that comes back gets to show its modes.
constexpr guint kModesWaitMs = 400;

std::string stateFile()
{
    return std::string(g_get_user_runtime_dir()) + "/ferrule-ibus-engine.state";
}

std::string savedEngine()
{
    gchar *contents = nullptr;
    if (!g_file_get_contents(stateFile().c_str(), &contents, nullptr, nullptr))
        return std::string();
    std::string name = g_strstrip(contents);
    g_free(contents);
    return name;
}

void reply(const std::string &line)
{
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

std::string engineName(IBusEngineDesc *desc)
{
    const gchar *name = desc ? ibus_engine_desc_get_name(desc) : nullptr;
    return name ? name : "";
}

class Helper;
Helper *helper = nullptr;

} // namespace

// The engine itself: it takes no keys and commits what it is given.
struct FerruleEngine
{
    IBusEngine parent;
};
struct FerruleEngineClass
{
    IBusEngineClass parent;
};
G_DEFINE_TYPE(FerruleEngine, ferrule_engine, IBUS_TYPE_ENGINE)

namespace {

class Helper
{
public:
    Helper(IBusBus *bus, GMainLoop *loop)
        : bus(bus), loop(loop),
          modes(ibus_bus_get_connection(bus),
                g_dbus_connection_get_unique_name(ibus_bus_get_connection(bus)))
    {
    }

    void onLine(const std::string &line)
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
        ibus_bus_get_global_engine_async(bus, kSwitchTimeoutMs, nullptr, &Helper::gotEngine, this);
    }

    void onEnd()
    {
        quitting = true;
        if (!busy)
            g_main_loop_quit(loop);
    }

    // The engine's input context took the focus.
    void onFocusIn(IBusEngine *engine, const char *client)
    {
        if (!busy || committed || pending.empty() || g_get_monotonic_time() > deadline)
            return;
        if (client ? g_strcmp0(client, "fake") == 0 : focusIsFake)
            return;
        ibus_engine_commit_text(engine, ibus_text_new_from_string(pending.c_str()));
        committed = true;
        pending.clear();
    }

private:
    static void gotEngine(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        IBusEngineDesc *desc = ibus_bus_get_global_engine_async_finish(self->bus, result, nullptr);
        std::string name = engineName(desc);
        if (desc)
            g_object_unref(desc);
        // Left behind by a run that ended in the middle of a commit.
        if (name == kEngineName)
            name = savedEngine();
        if (name.empty()) {
            self->finish("refused");
            return;
        }
        self->userEngine = name;
        self->userModes = self->modes.current();
        g_file_set_contents(stateFile().c_str(), name.c_str(), -1, nullptr);
        ibus_bus_current_input_context_async(self->bus, kSwitchTimeoutMs, nullptr,
                                             &Helper::gotContext, self);
    }

    static void gotContext(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        gchar *path = ibus_bus_current_input_context_async_finish(self->bus, result, nullptr);
        // Where IBus does not say which client an engine serves, the stand-in
        // context that has the focus when no window has is told by its path:
        // IBus makes it first.
        self->focusIsFake = !path || g_str_has_suffix(path, "/InputContext_1");
        g_free(path);
        ibus_bus_set_global_engine_async(self->bus, kEngineName, kSwitchTimeoutMs, nullptr,
                                         &Helper::switchedAway, self);
    }

    static void switchedAway(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        ibus_bus_set_global_engine_async_finish(self->bus, result, nullptr);
        // IBus calls FocusIn on the new engine before it answers the switch:
        // a commit that has not happened by now has no window to go to.
        self->pending.clear();
        ibus_bus_set_global_engine_async(self->bus, self->userEngine.c_str(), kSwitchTimeoutMs,
                                         nullptr, &Helper::switchedBack, self);
    }

    static void switchedBack(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        if (!ibus_bus_set_global_engine_async_finish(self->bus, result, nullptr)) {
            // Still ours, or not known: the noted engine stays noted for the
            // next start.
            self->finish(self->committed ? "committed" : "nofocus");
            return;
        }
        g_remove(stateFile().c_str());
        if (self->userModes.looks.empty()) {
            self->finish(self->committed ? "committed" : "nofocus");
            return;
        }
        self->modesAsked = false;
        self->modesSince = g_get_monotonic_time();
        g_timeout_add(5, &Helper::checkModes, self);
    }

    // Waits for the engine that came back to show its modes, sets the user's
    // again, and waits until it shows them.
    static gboolean checkModes(gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
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

    void finish(const char *outcome)
    {
        const bool inTime = g_get_monotonic_time() <= deadline + kCommitDeadlineUs / 4;
        reply(request + ' ' +
              (inTime || std::strcmp(outcome, "committed") == 0 ? outcome : "late"));
        busy = false;
        pending.clear();
        if (quitting)
            g_main_loop_quit(loop);
    }

    IBusBus *bus;
    GMainLoop *loop;
    EngineModes modes;
    EngineModes::Snapshot userModes;
    std::string userEngine;
    std::string request;
    std::string pending;
    gint64 deadline = 0;
    gint64 modesSince = 0;
    bool busy = false;
    bool committed = false;
    bool focusIsFake = false;
    bool modesAsked = false;
    bool quitting = false;
};

gboolean readLine(GIOChannel *channel, GIOCondition, gpointer)
{
    gchar *line = nullptr;
    gsize length = 0;
    const GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
    if (status == G_IO_STATUS_NORMAL && line) {
        helper->onLine(g_strchomp(line));
        g_free(line);
        return G_SOURCE_CONTINUE;
    }
    g_free(line);
    if (status == G_IO_STATUS_AGAIN)
        return G_SOURCE_CONTINUE;
    helper->onEnd();
    return G_SOURCE_REMOVE;
}

IBusEngine *createEngine(IBusFactory *factory, const gchar *name, gpointer)
{
    static int serial = 0;
    gchar *path = g_strdup_printf("/org/freedesktop/IBus/Engine/Ferrule/%d", ++serial);
    // With a focus id IBus names the client an engine serves, so that the
    // stand-in context it focuses when no window has the focus is told apart.
    auto *engine = static_cast<IBusEngine *>(g_object_new(
        ferrule_engine_get_type(), "engine-name", name, "object-path", path, "connection",
        ibus_service_get_connection(IBUS_SERVICE(factory)), "has-focus-id", TRUE, nullptr));
    g_free(path);
    return engine;
}

// A run that ended in the middle of a commit may have left this engine as
// the global one: the user's, as noted then, comes back.
void restoreLeftEngine(IBusBus *bus)
{
    IBusEngineDesc *desc = ibus_bus_get_global_engine(bus);
    const std::string current = engineName(desc);
    if (desc)
        g_object_unref(desc);
    const std::string saved = savedEngine();
    if (current == kEngineName && !saved.empty())
        ibus_bus_set_global_engine(bus, saved.c_str());
    if (current == kEngineName || current == saved)
        g_remove(stateFile().c_str());
}

IBusComponent *component()
{
    IBusComponent *component =
        ibus_component_new("org.freedesktop.IBus.Ferrule", "Ferrule voice typing", "1.0", "GPL",
                           "Ferrule", "", "", "ferrule");
    ibus_component_add_engine(component,
                              ibus_engine_desc_new(kEngineName, "Ferrule", "Text typed by Ferrule",
                                                   "other", "GPL", "Ferrule", "", "default"));
    return component;
}

} // namespace

static gboolean ferrule_engine_process_key_event(IBusEngine *, guint, guint, guint)
{
    return FALSE;
}

static void ferrule_engine_focus_in_id(IBusEngine *engine, const gchar *, const gchar *client)
{
    helper->onFocusIn(engine, client ? client : "");
}

static void ferrule_engine_focus_in(IBusEngine *engine)
{
    helper->onFocusIn(engine, nullptr);
}

static void ferrule_engine_class_init(FerruleEngineClass *klass)
{
    IBusEngineClass *engine = IBUS_ENGINE_CLASS(klass);
    engine->process_key_event = ferrule_engine_process_key_event;
    engine->focus_in = ferrule_engine_focus_in;
    engine->focus_in_id = ferrule_engine_focus_in_id;
}

static void ferrule_engine_init(FerruleEngine *) {}

int main(int argc, char **argv)
{
    const bool forFerrule = argc > 1 && std::strcmp(argv[1], "--ferrule") == 0;
    ibus_init();
    IBusBus *bus = ibus_bus_new();
    if (!ibus_bus_is_connected(bus)) {
        reply("error no IBus");
        return 1;
    }
    restoreLeftEngine(bus);
    // Started by IBus for an engine left behind: nothing more to do.
    if (!forFerrule)
        return 0;

    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    Helper instance(bus, loop);
    helper = &instance;
    IBusFactory *factory = ibus_factory_new(ibus_bus_get_connection(bus));
    ibus_factory_add_engine(factory, kEngineName, ferrule_engine_get_type());
    g_signal_connect(factory, "create-engine", G_CALLBACK(createEngine), nullptr);
    IBusComponent *own = component();
    if (!ibus_bus_register_component(bus, own)) {
        reply("error engine not registered");
        return 1;
    }
    // IBus ends: so does this engine.
    g_signal_connect(bus, "disconnected", G_CALLBACK(+[](IBusBus *, gpointer) { helper->onEnd(); }),
                     nullptr);
    GIOChannel *input = g_io_channel_unix_new(0);
    g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), readLine, nullptr);
    reply("ready");
    g_main_loop_run(loop);
    g_io_channel_unref(input);
    g_object_unref(own);
    g_object_unref(factory);
    g_object_unref(bus);
    g_main_loop_unref(loop);
    return 0;
}
