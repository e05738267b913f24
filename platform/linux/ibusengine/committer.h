#pragma once

#include "modes.h"

#include <ibus.h>

#include <string>

// One commit at a time, as Ferrule asks for them: the global engine is
// switched to this one (asynchronously: IBus calls the engine while it
// switches), the text is committed when the engine's input context takes the
// focus, and the user's engine is switched back with its modes as they were.
// Each commit is answered with one line: "<id> committed", "<id> nofocus",
// "<id> refused" or "<id> late".
class Committer
{
public:
    // bus switches engines; the engine itself lives on own, another
    // connection to IBus. loop ends once Ferrule has gone and no commit is
    // under way.
    Committer(IBusBus *bus, GDBusConnection *own, GMainLoop *loop);
    Committer(const Committer &) = delete;
    Committer &operator=(const Committer &) = delete;

    // Ends the engine's connection, own, waits until IBus has let the
    // component go (and with it the global engine), and sets the user's
    // engine again, in the modes it was in.
    void leave(GDBusConnection *own);

    // A line from Ferrule: "commit <id> <base64 of the UTF-8 text>".
    void onLine(const std::string &line);
    // Ferrule, IBus or the session ends: so does the loop, after the commit
    // under way.
    void onEnd();
    // The engine's input context took the focus.
    void onFocusIn(IBusEngine *engine, const char *client);

private:
    // The engine to set again when Ferrule ends.
    std::string userEngineNow() const;
    // The modes of engine, the user's now, to set again when it comes back.
    EngineModes::Snapshot modesOf(const std::string &engine) const;

    static void engineChanged(IBusBus *, const gchar *name, gpointer data);
    static void gotEngine(GObject *, GAsyncResult *result, gpointer data);
    static void gotContext(GObject *, GAsyncResult *result, gpointer data);
    static void switchedAway(GObject *, GAsyncResult *result, gpointer data);
    static gboolean focusTimedOut(gpointer data);
    void switchBack();
    static void switchedBack(GObject *, GAsyncResult *result, gpointer data);
    static gboolean checkModes(gpointer data);
    void finish(const char *outcome);

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
    bool switched = false; // the switch to this engine is done
    bool back = false;     // the switch back has begun
    guint focusWait = 0;
    bool modesAsked = false;
    bool quitting = false;
};
