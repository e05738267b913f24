#pragma once

#include "actions/websearchtable.h"

// Runs the recognized UTF-8 text as a spoken command: types it, shows its first
// sentence in a prompt box for one second, then starts every matching action
// (site pages from the table, searches, the folder, the calculator, the text
// editor, a new text document or spreadsheet).
void interpretCommand(const char *utf8, const WebSearchTable &table);
