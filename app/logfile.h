#pragma once

#include <QString>

// The log, for the user to find: from installLogFile on, every line of the
// debug channel also goes to the file at path (ferrule.log beside config.txt),
// with the time in front. The file stays small: past maxLogBytes the oldest
// lines are dropped, keeping the last keptLogBytes. Lines from any thread.
// A file that cannot be written leaves the debug channel as it was.
void installLogFile(const QString &path);

// The file of this run's log; empty before installLogFile.
QString logFilePath();

constexpr qint64 maxLogBytes = 512 * 1024;
constexpr qint64 keptLogBytes = 256 * 1024;

// The line as it may be written anywhere: a service key that slipped into it
// (after "Bearer", "api_key =", or one of the form "sk-…") becomes "***".
QString withoutKeys(const QString &line);
