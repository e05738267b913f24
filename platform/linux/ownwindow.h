#pragma once

#include <QString>
#include <QtGlobal>

// Types text into focus when it is one of this process's own windows, by
// handing the text to its focus widget as committed input. Key presses would
// be read only after the typing run, on this same thread, when the lent
// keycodes mean nothing any more, and an input method would compose them.
// Returns the characters typed, -1 when focus is not one of our windows.
int typeIntoOwnWindow(const QString &text, quint64 focus);
