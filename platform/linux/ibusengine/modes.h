#pragma once

#include <ibus.h>

#include <map>
#include <string>

// The modes an IBus engine shows as properties (libpinyin: Chinese/English,
// full/half width, punctuation, simplified/traditional). IBus makes a new
// engine each time the global engine changes, and a new engine starts in its
// configured modes: the user's modes are noted from the engines' own signals
// on the bus and set again on the engine that comes back.
class EngineModes
{
public:
    // Listens on connection to the property signals of every engine but
    // the one that own names (Ferrule's).
    EngineModes(GDBusConnection *connection, const std::string &own);
    ~EngineModes();
    EngineModes(const EngineModes &) = delete;
    EngineModes &operator=(const EngineModes &) = delete;

    // The modes of the engine that showed its properties last.
    struct Snapshot
    {
        std::string sender, path;
        std::map<std::string, std::string> looks; // key -> label, icon, state
        std::map<std::string, guint> types;
        std::map<std::string, guint> states;
    };
    const Snapshot &current() const { return now; }

    // Whether an engine other than before's has shown its properties.
    bool hasNewEngine(const Snapshot &before) const;

    // Activates, on the current engine, each property that looks otherwise
    // than in before; returns how many were asked to change.
    int restore(const Snapshot &before);

    // Whether the current engine's properties look as in before, for the
    // keys both have.
    bool matches(const Snapshot &before) const;

private:
    static void onSignal(GDBusConnection *, const gchar *sender, const gchar *path, const gchar *,
                         const gchar *member, GVariant *parameters, gpointer self);
    void note(IBusProperty *property);

    GDBusConnection *connection;
    std::string own;
    guint subscription = 0;
    Snapshot now;
};
