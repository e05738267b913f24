#pragma once

#include <QString>

// IBus, on the bus of its own that ibus-daemon serves: found through
// IBUS_ADDRESS or the address file it writes for the display.
class IBusInput
{
public:
    // Looks for the daemon. Without an address nothing is waited for.
    IBusInput();
    ~IBusInput();
    IBusInput(const IBusInput &) = delete;
    IBusInput &operator=(const IBusInput &) = delete;

    bool isRunning() const { return !address.isEmpty(); }

    // The engine that composes for every input context (IBus switches them
    // all together), empty when there is none or the daemon does not answer
    // in time. Which window has an input context cannot be told: IBus names
    // a stand-in context as the current one when no window has the focus.
    QString engine();

    // One call to the daemon and back; false when it does not answer (then
    // it is not asked again).
    bool roundTrip();

private:
    bool connect();

    QString address;
    bool connected = false;
};
