#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

// The keyboard focus of the desktop and typing into it as the user would:
// every character arrives as a key press, including characters that no key of
// the keyboard carries (Chinese, symbols). No clipboard is used.
class TextInput
{
public:
    TextInput();
    ~TextInput();
    TextInput(const TextInput &) = delete;
    TextInput &operator=(const TextInput &) = delete;

    // Gives back the keycodes that a typing run which ended before restoring the
    // keyboard map (killed, crashed) left bound; every typing run does it too.
    static void restoreLentKeycodes();

    // False when there is no display to type into.
    bool isConnected() const;

    // The window the user works in, 0 when there is none.
    quint64 foregroundWindow();

    // The window inside foreground that has the keyboard focus, 0 when the
    // focus is nowhere or in a window that does not belong to foreground.
    quint64 focusWindow(quint64 foreground);

    // The process id that window's program gave it (_NET_WM_PID), 0 when none.
    quint64 windowOwner(quint64 window);

    // Types text into focus and returns how many characters were typed. Stops
    // as soon as focus no longer has the keyboard focus, so nothing is typed
    // into another window. A line feed is typed as Return.
    int type(const QString &text, quint64 focus);

private:
    class Private;
    std::unique_ptr<Private> d;
};
