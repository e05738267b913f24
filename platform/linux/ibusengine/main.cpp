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
// its end of the pipe closes, and the user's engine is set again before this
// process ends. That is needed even when no commit was under way: once a
// component registered at run time goes, IBus keeps a global engine only if
// it too was registered at run time, and drops the user's (bus/ibusimpl.c,
// bus_ibus_impl_check_global_engine). So the component lives on a connection
// of its own, which is closed first; the user's engine is then set again over
// the other. Should this process be killed as well, the user's engine, noted
// in the runtime folder, is set again by the next start; where the package
// installed the engine's description and something chooses the engine while
// Ferrule is not running, IBus starts this program (--ibus) to do the same.
#include "modes.h"

#include <glib-unix.h>
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
constexpr int kSwitchTimeoutMs = 3000;
// How long the engine that comes back gets to show its modes.
constexpr guint kModesWaitMs = 400;

std::string stateFile()
{
    return std::string(g_get_user_runtime_dir()) + "/ferrule-ibus-engine.state";
}

// The user's engine, noted whenever it changes.
void noteEngine(const std::string &name)
{
    if (!name.empty() && name != kEngineName)
        g_file_set_contents(stateFile().c_str(), name.c_str(), -1, nullptr);
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

// The global engine's name, empty when there is none (asked without
// libibus's warning for that case).
std::string globalEngine(IBusBus *bus)
{
    GVariant *result = g_dbus_connection_call_sync(
        ibus_bus_get_connection(bus), "org.freedesktop.IBus", "/org/freedesktop/IBus",
        "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.IBus", "GlobalEngine"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 3000, nullptr, nullptr);
    if (!result)
        return std::string();
    GVariant *value = nullptr;
    g_variant_get(result, "(v)", &value);
    g_variant_unref(result);
    IBusSerializable *desc = ibus_serializable_deserialize(value);
    g_variant_unref(value);
    std::string name;
    if (desc) {
        g_object_ref_sink(desc);
        if (IBUS_IS_ENGINE_DESC(desc))
            name = engineName(IBUS_ENGINE_DESC(desc));
        g_object_unref(desc);
    }
    return name;
}

// Switches the global engine and waits for IBus to answer, at most
// kSwitchTimeoutMs (libibus's own call waits 25 s).
bool setGlobalEngine(IBusBus *bus, const std::string &name)
{
    GVariant *result = g_dbus_connection_call_sync(
        ibus_bus_get_connection(bus), "org.freedesktop.IBus", "/org/freedesktop/IBus",
        "org.freedesktop.IBus", "SetGlobalEngine", g_variant_new("(s)", name.c_str()), nullptr,
        G_DBUS_CALL_FLAGS_NONE, kSwitchTimeoutMs, nullptr, nullptr);
    if (result)
        g_variant_unref(result);
    return result != nullptr;
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
    // bus switches engines; the engine itself lives on own, another
    // connection to IBus.
    Helper(IBusBus *bus, GDBusConnection *own, GMainLoop *loop)
        : bus(bus), loop(loop),
          modes(ibus_bus_get_connection(bus), g_dbus_connection_get_unique_name(own))
    {
        ibus_bus_set_watch_ibus_signal(bus, TRUE);
        g_signal_connect(bus, "global-engine-changed", G_CALLBACK(&Helper::engineChanged), this);
        noted = globalEngine(bus);
        noteEngine(noted);
    }

    // Ends the engine's connection, own, waits until IBus has let the
    // component go (and with it the global engine), and sets the user's
    // engine again, in the modes it was in.
    void leave(GDBusConnection *own)
    {
        const std::string user = userEngineNow();
        const EngineModes::Snapshot before =
            g_str_has_prefix(user.c_str(), "xkb:") ? EngineModes::Snapshot() : modes.current();
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

    // The engine to set again when Ferrule ends.
    std::string userEngineNow() const
    {
        const std::string now = globalEngine(bus);
        if (!now.empty() && now != kEngineName)
            return now;
        return noted.empty() || noted == kEngineName ? savedEngine() : noted;
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
        if (switched)
            switchBack();
    }

private:
    static void engineChanged(IBusBus *, const gchar *name, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        if (name && *name && g_strcmp0(name, kEngineName) != 0) {
            self->noted = name;
            noteEngine(name);
        }
    }

    static void gotEngine(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
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
        // IBus's keyboard layouts (xkb:…) have no modes; the properties seen
        // last are then another engine's.
        self->userModes = g_str_has_prefix(name.c_str(), "xkb:") ? EngineModes::Snapshot()
                                                                 : self->modes.current();
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
        if (self->focusIsFake) {
            self->finish("nofocus");
            return;
        }
        self->switched = false;
        self->back = false;
        ibus_bus_set_global_engine_async(self->bus, kEngineName, kSwitchTimeoutMs, nullptr,
                                         &Helper::switchedAway, self);
    }

    static void switchedAway(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        ibus_bus_set_global_engine_async_finish(self->bus, result, nullptr);
        self->switched = true;
        // The engine lives on another connection than the one that switched:
        // its focus-in may come before the answer or after it.
        const gint64 left = self->deadline - g_get_monotonic_time();
        if (self->committed || left <= 0) {
            self->switchBack();
            return;
        }
        self->focusWait = g_timeout_add(guint(left / 1000) + 1, &Helper::focusTimedOut, self);
    }

    static gboolean focusTimedOut(gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        self->focusWait = 0;
        self->pending.clear();
        self->switchBack();
        return G_SOURCE_REMOVE;
    }

    void switchBack()
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
                                         &Helper::switchedBack, this);
    }

    static void switchedBack(GObject *, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Helper *>(data);
        if (!ibus_bus_set_global_engine_async_finish(self->bus, result, nullptr) ||
            self->userModes.looks.empty()) {
            self->finish(self->committed ? "committed" : "nofocus");
            return;
        }
        self->modesAsked = false;
        self->modesSince = g_get_monotonic_time();
        g_timeout_add(1, &Helper::checkModes, self);
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
    std::string userEngine; // of the commit under way
    std::string noted;      // the user's, as last seen
    std::string request;
    std::string pending;
    gint64 deadline = 0;
    gint64 modesSince = 0;
    bool busy = false;
    bool committed = false;
    bool focusIsFake = false;
    bool switched = false; // the switch to this engine is done
    bool back = false;     // the switch back has begun
    guint focusWait = 0;
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

// A run that was killed left this engine as the global one, or none at all
// (its component went): the user's engine as noted then comes back. IBus
// may still be busy with the switch the run asked for, which cancels this
// one: asked again until it holds.
void restoreLeftEngine(IBusBus *bus)
{
    const std::string saved = savedEngine();
    for (int tries = 0; tries < 20 && !saved.empty(); ++tries) {
        const std::string current = globalEngine(bus);
        if (current != kEngineName && !current.empty())
            return;
        if (!setGlobalEngine(bus, saved))
            g_usleep(50 * 1000);
    }
}

GDBusConnection *connectOwn()
{
    return g_dbus_connection_new_for_address_sync(
        ibus_get_address(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

bool registerComponent(GDBusConnection *own)
{
    IBusComponent *component =
        ibus_component_new("org.freedesktop.IBus.Ferrule", "Ferrule voice typing", "1.0", "GPL",
                           "Ferrule", "", "", "ferrule");
    ibus_component_add_engine(component,
                              ibus_engine_desc_new(kEngineName, "Ferrule", "Text typed by Ferrule",
                                                   "other", "GPL", "Ferrule", "", "default"));
    GVariant *result = g_dbus_connection_call_sync(
        own, "org.freedesktop.IBus", "/org/freedesktop/IBus", "org.freedesktop.IBus",
        "RegisterComponent",
        g_variant_new("(v)", ibus_serializable_serialize(IBUS_SERIALIZABLE(component))), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(component);
    if (result)
        g_variant_unref(result);
    return result != nullptr;
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
    // Deserializing finds the types by name: they must exist first.
    g_type_ensure(IBUS_TYPE_ENGINE_DESC);
    IBusBus *bus = ibus_bus_new();
    if (!ibus_bus_is_connected(bus)) {
        GError *error = nullptr;
        const gchar *address = ibus_get_address();
        GDBusConnection *probe =
            address ? g_dbus_connection_new_for_address_sync(
                          address,
                          GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                               G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                          nullptr, nullptr, &error)
                    : nullptr;
        reply(std::string("error no IBus at ") + (address ? address : "(no address)") + ": " +
              (error ? error->message : "connected now"));
        if (probe)
            g_object_unref(probe);
        return 1;
    }
    restoreLeftEngine(bus);
    // Started by IBus for an engine left behind: nothing more to do.
    if (!forFerrule)
        return 0;

    GDBusConnection *own = connectOwn();
    if (!own) {
        reply("error no second connection to IBus");
        return 1;
    }
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    Helper instance(bus, own, loop);
    helper = &instance;
    IBusFactory *factory = ibus_factory_new(own);
    ibus_factory_add_engine(factory, kEngineName, ferrule_engine_get_type());
    g_signal_connect(factory, "create-engine", G_CALLBACK(createEngine), nullptr);
    if (!registerComponent(own)) {
        reply("error engine not registered");
        instance.leave(own);
        return 1;
    }
    // IBus ends: so does this engine.
    g_signal_connect(bus, "disconnected", G_CALLBACK(+[](IBusBus *, gpointer) { helper->onEnd(); }),
                     nullptr);
    // Asked to end (the session ends, a signal to Ferrule's process group):
    // as when Ferrule ends, after the commit under way. Only SIGKILL cuts a
    // switch short, and ibus-daemon 1.5.27 can crash when the engine it is
    // switching to goes that way.
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        g_unix_signal_add(
            signal,
            +[](gpointer) {
                helper->onEnd();
                return gboolean(G_SOURCE_CONTINUE);
            },
            nullptr);
    GIOChannel *input = g_io_channel_unix_new(0);
    g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), readLine, nullptr);
    reply("ready");
    g_main_loop_run(loop);

    if (ibus_bus_is_connected(bus))
        instance.leave(own);
    g_io_channel_unref(input);
    ibus_object_destroy(IBUS_OBJECT(factory));
    g_object_unref(own);
    g_object_unref(bus);
    g_main_loop_unref(loop);
    return 0;
}
