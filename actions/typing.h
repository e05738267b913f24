#pragma once

// Types the UTF-8 text into the control that has the keyboard focus in the
// foreground window, as the user would have typed it. Logs the handles of the
// foreground window and the focused control; with either missing nothing is
// typed. Typing stops when the focus leaves that control. With "去除标点" set
// (RemovePunctuation=1) its punctuation is removed first; then the text goes
// through typableText: no Return, no Tab, no control character reaches the window.
// Where the desktop has no way to type it (a Wayland session whose input method
// did not take it), the prompt "无法输入文字" shows and the text goes to the log.
// Typed into the same control right after the last dictation, text that starts
// with a Latin letter or digit gets a blank in front where needsBlankBetween says so.
void typeText(const char *utf8);
