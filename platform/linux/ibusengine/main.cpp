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
#include "committer.h"
#include "ferruleengine.h"
#include "ferrulepipe.h"
#include "globalengine.h"

#include <glib-unix.h>
#include <ibus.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

Committer *committer = nullptr;

// Says why there is no IBus to talk to, for Ferrule's log.
void reportNoIBus()
{
    GError *error = nullptr;
    const gchar *address = ibus_get_address();
    GDBusConnection *probe = connectOwn(&error);
    reply(std::string("error no IBus at ") + (address ? address : "(no address)") + ": " +
          (error ? error->message : "connected now"));
    g_clear_error(&error);
    if (probe)
        g_object_unref(probe);
}

void endWhenAsked(IBusBus *bus)
{
    // IBus ends: so does this engine.
    g_signal_connect(bus, "disconnected",
                     G_CALLBACK(+[](IBusBus *, gpointer) { committer->onEnd(); }), nullptr);
    // Asked to end (the session ends, a signal to Ferrule's process group):
    // as when Ferrule ends, after the commit under way. Only SIGKILL cuts a
    // switch short, and ibus-daemon 1.5.27 can crash when the engine it is
    // switching to goes that way.
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        g_unix_signal_add(
            signal,
            +[](gpointer) {
                committer->onEnd();
                return gboolean(G_SOURCE_CONTINUE);
            },
            nullptr);
}

// Serves Ferrule's commits until Ferrule ends.
int serveFerrule(IBusBus *bus)
{
    GDBusConnection *own = connectOwn();
    if (!own) {
        reply("error no second connection to IBus");
        return 1;
    }
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    Committer instance(bus, own, loop);
    committer = &instance;
    IBusFactory *factory = serveFerruleEngine(
        own, [](IBusEngine *engine, const char *client) { committer->onFocusIn(engine, client); });
    if (!registerComponent(own)) {
        reply("error engine not registered");
        instance.leave(own);
        return 1;
    }
    endWhenAsked(bus);
    watchFerrule([](const std::string &line) { committer->onLine(line); },
                 []() { committer->onEnd(); });
    reply("ready");
    g_main_loop_run(loop);

    if (ibus_bus_is_connected(bus))
        instance.leave(own);
    ibus_object_destroy(IBUS_OBJECT(factory));
    g_object_unref(own);
    g_main_loop_unref(loop);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const bool forFerrule = argc > 1 && std::strcmp(argv[1], "--ferrule") == 0;
    ibus_init();
    // Deserializing finds the types by name: they must exist first.
    g_type_ensure(IBUS_TYPE_ENGINE_DESC);
    IBusBus *bus = ibus_bus_new();
    if (!ibus_bus_is_connected(bus)) {
        reportNoIBus();
        return 1;
    }
    restoreLeftEngine(bus);
    // Started by IBus for an engine left behind: nothing more to do.
    const int status = forFerrule ? serveFerrule(bus) : 0;
    g_object_unref(bus);
    return status;
}
