#pragma once

#include <ibus.h>

#include <string>

// The name this engine has on the bus.
constexpr const char *kEngineName = "ferrule";
// How long a switch of the global engine may take before it counts as failed.
constexpr int kSwitchTimeoutMs = 3000;

// desc's engine name, empty without one.
std::string engineName(IBusEngineDesc *desc);

// The global engine's name, empty when there is none (asked without
// libibus's warning for that case).
std::string globalEngine(IBusBus *bus);

// Switches the global engine and waits for IBus to answer, at most
// kSwitchTimeoutMs (libibus's own call waits 25 s).
bool setGlobalEngine(IBusBus *bus, const std::string &name);

// A run that was killed left this engine as the global one, or none at all
// (its component went): the user's engine as noted then comes back.
void restoreLeftEngine(IBusBus *bus);
