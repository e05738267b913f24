#pragma once

#include <QString>

// The text as it may be typed into the user's window. Recognized text comes from a
// speech engine or a remote service: a line break or a tab in it would press Return
// or Tab, and a terminal runs what stands before a Return. Line breaks (CR, LF,
// U+2028, U+2029), tabs and the other control characters become a blank, a run of
// them one blank (U+0000 too); the bidirectional embedding, override and isolate
// controls and the marks LRM, RLM and ALM, which make an editor show text in another
// order than it runs, are dropped. Everything else, emoji and characters beyond
// U+FFFF included, stays as it is.
QString typableText(const QString &text);
