#pragma once

#include <QString>

// Text that came from outside (a speech or translation service: recognized
// text, a translation, an error body) as it may go into a log line: control
// characters, line and paragraph separators and the bidirectional controls are
// written as escapes (\n, \t, \x1b, \u{202e}), and the backslash as \\, so
// that the text can neither break or forge a line nor steer the terminal
// showing the log. Everything else stays as it is.
QString logSafe(const QString &text);
QString logSafe(const QByteArray &utf8);

// Embeddings, overrides and isolates, and the marks (LRM, RLM, ALM): a mark
// alone turns a run of digits around ("1 2 3 4" framed by RLM shows "4 3 2 1").
bool isBidiControl(char32_t c);
