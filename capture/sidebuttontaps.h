#pragma once

#include <QtGlobal>

// Tells a held side button (Ferrule's: record, recognize) from a tap (the
// window's click: Back, Forward) while the buttons are held back from the
// window under the pointer. A press released within tapMs is a tap; a tap
// drops the recording only when its own press began it, so a tap of one button
// while the other is held leaves that recording alone.
class SideButtonTaps
{
public:
    static constexpr qint64 tapMs = 300;

    // button 8 or 9; time on the source's clock; heldBack: the window did not
    // see the press; startedRecording: the press began the recording.
    void press(int button, qint64 timeMs, bool heldBack, bool startedRecording);

    struct Release
    {
        bool tap = false;           // pass the click on; recognize nothing
        bool dropRecording = false; // end the recording unsaved
    };
    Release release(int button, qint64 timeMs, bool heldBack);

    // True once the last press of button has ended as a tap.
    bool tapped(int button) const;

private:
    struct Press
    {
        bool down = false;
        bool heldBack = false;
        bool startedRecording = false;
        bool tapped = false;
        qint64 timeMs = 0;
    };
    // The press of button 8 or 9, null for any other.
    const Press *slot(int button) const;
    Press *slot(int button);
    Press pressed[2];
};
