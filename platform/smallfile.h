#pragma once

#include <QByteArray>
#include <QString>

// Reads a small data file of the user's (a list, a record) that may have been
// replaced by something else: a FIFO or a link to one, whose plain open waits
// for a writer for good; a device that never ends (/dev/zero); a huge file.
// Only a regular file is read, opened without waiting, and only when it holds
// at most maxBytes. On failure *error says why, for a log line.
struct SmallFileOptions
{
    bool followLinks = true;  // false: a link at path is refused, not followed
    bool ownFileOnly = false; // true: a file that another user owns is refused
};

bool readSmallFile(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error,
                   SmallFileOptions options = {});
