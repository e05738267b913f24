#pragma once

#include "device/voicemouseparts.h"

// What the user is told after a pass. Each is reported once per change.
struct ConnectionChanges
{
    bool detected = false;      // both parts present, not so at the pass before
    bool interfaceLost = false; // interface missing, present at the pass before
    bool deviceLost = false;    // device missing, present at the pass before
};

// Compares each pass with the one before it. The run starts as if the pass
// before the first had both parts apart, but had neither: the first pass
// reports a detection when both are there and a loss for each part missing.
class ConnectionTracker
{
public:
    ConnectionChanges nextPass(const VoiceMouseParts &parts);

private:
    bool hadBoth = false;
    bool hadInterface = true;
    bool hadDevice = true;
};
