#pragma once

#include <QtGlobal>

// The mouse message codes and parameter types of the push-to-talk hook. The
// side-button watcher of the platform layer hands its presses and releases on
// in this shape.
using WPARAM = quintptr;
using LPARAM = qintptr;
using LRESULT = qintptr;

constexpr WPARAM WM_XBUTTONDOWN = 0x020B;
constexpr WPARAM WM_XBUTTONUP = 0x020C;

// Push-to-talk: a side-button press starts the recorder and shows "请说口令！"
// (unless "关闭提示" leaves confirmations out);
// the release stops it and runs one whole recognition of the ./record.wav it
// wrote, with its action, before returning. A release that ended no recording, or
// one without audio, recognizes nothing; a failed recording shows "麦克风录音失败".
// Every other message is ignored.
// lParam is 0 or points to the SideButtons::Click (platform/sidebuttons.h) of
// the message. When the window under the pointer did not see the click
// (ExclusiveSideButtons), a press released within 300 ms is a tap: it shows no
// prompt, its recording is dropped unrecognized, and the return value 1 asks
// for the click to be passed on to that window. Returns 0 otherwise; a click
// the window saw keeps its own effect there.
LRESULT mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam);

// Starts handing the side buttons of every mouse to mouseHookProc on this (the
// GUI) thread, for the rest of the run, and follows ExclusiveSideButtons from
// then on. Returns false, with the reason logged, when that is not possible;
// the program then runs without push-to-talk.
bool installMouseHook();
