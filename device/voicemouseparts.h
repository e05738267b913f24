#pragma once

#include <QByteArrayList>
#include <QVector>

// The voice mouse is two USB nodes: the composite sound-card device's
// interface 0 and the mouse device itself. Only a node's first (most
// specific) hardware ID is looked at.
struct VoiceMouseParts
{
    bool interfacePresent = false;
    bool devicePresent = false;
};

bool matchesMouseInterface(const QByteArray &hardwareId);

// The device's own ID only: its interfaces carry an "&MI_" suffix and are
// longer than the 30 characters of "USB\" plus the pattern.
bool matchesMouseDevice(const QByteArray &hardwareId);

// A part is present when at least one node matches its test.
VoiceMouseParts findVoiceMouseParts(const QVector<QByteArrayList> &nodes);
