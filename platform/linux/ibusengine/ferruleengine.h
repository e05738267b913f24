#pragma once

#include <ibus.h>

#include <functional>

// The engine itself: it takes no keys and commits what it is given, when its
// input context takes the focus.

// Called each time an engine's input context takes the focus; client names
// the client it serves, null where IBus does not say.
using FocusInHandler = std::function<void(IBusEngine *engine, const char *client)>;

// Offers the engine on own, a connection of its own (see main), each engine
// IBus asks for calling onFocusIn. The factory that makes them is the
// caller's, to destroy once own is closed.
IBusFactory *serveFerruleEngine(GDBusConnection *own, FocusInHandler onFocusIn);

// Registers the engine's component with IBus over own; false when IBus
// refused it.
bool registerComponent(GDBusConnection *own);

// A second connection to IBus, for the engine; null, with the reason in
// *error where one is given, when IBus has no address or does not answer.
GDBusConnection *connectOwn(GError **error = nullptr);
