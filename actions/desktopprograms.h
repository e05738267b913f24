#pragma once

#include <QString>

// The desktop programs a spoken command can start. Each ends with a log line
// when the program is not installed; none of them reports to the caller.
namespace desktopprograms {

// The folder Project in the home folder (the home folder when it is missing)
// in the file manager; waits until the opener ends.
void openProjectFolder();

// A folder in the file manager or a file in its default application, through
// the desktop's opener; waits a few seconds at most, so that several opened in
// a row come up in their order.
void openWithDesktop(const QString &path);

// The first installed calculator / text editor, left running.
void startCalculator();
void startTextEditor();

// LibreOffice with a new Writer document / Calc spreadsheet, shown.
void newTextDocument();
void newSpreadsheet();

} // namespace desktopprograms
