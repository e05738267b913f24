#pragma once

#include <QDeadlineTimer>
#include <QString>

// The desktop programs a spoken command can start. Each ends with a log line
// when the program is not installed; none of them reports to the caller.
namespace desktopprograms {

// The desktops' openers (gio, kde-open, exo-open) hand the path over and end at
// once; xdg-open without a known desktop runs the application itself, and the
// utterance must not wait for it to be closed. All the openers of one utterance
// share this wait, however many folders and files it opens.
constexpr int kOpenersWaitMs = 2000;

// The folder Project in the home folder (the home folder when it is missing)
// in the file manager, as openWithDesktop opens a folder.
void openProjectFolder(const QDeadlineTimer &deadline);

// A folder in the file manager or a file in its default application, through
// the desktop's opener; waits for the opener until the deadline at most (share
// one among several, so that they come up in their order and a press is held up
// no longer than one deadline), then leaves it running.
void openWithDesktop(const QString &path, const QDeadlineTimer &deadline);

// The first installed calculator / text editor, left running.
void startCalculator();
void startTextEditor();

// LibreOffice with a new Writer document / Calc spreadsheet, shown.
void newTextDocument();
void newSpreadsheet();

} // namespace desktopprograms
