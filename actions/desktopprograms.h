#pragma once

// The desktop programs a spoken command can start. Each ends with a log line
// when the program is not installed; none of them reports to the caller.
namespace desktopprograms {

// The folder Project in the home folder (the home folder when it is missing)
// in the file manager; waits until the opener ends.
void openProjectFolder();

// The first installed calculator / text editor, left running.
void startCalculator();
void startTextEditor();

// LibreOffice with a new Writer document / Calc spreadsheet, shown.
void newTextDocument();
void newSpreadsheet();

} // namespace desktopprograms
