#pragma once

#include "actions/websearchtable.h"

// Runs the recognized UTF-8 text as a spoken command: types it, shows its first
// sentence in a prompt box for one second (unless "关闭提示" is set), then
// starts every matching action (site pages from the table, searches, the
// folder, the calculator, the text editor, a new text document or spreadsheet),
// and last the user's own command words of ./customcommands.json that the
// first sentence contains, each running its web addresses, folders and files
// in their order.
void interpretCommand(const char *utf8, const WebSearchTable &table);
