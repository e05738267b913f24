#pragma once

#include "recognition/speechconfig.h"

#include <QString>

// speech.ini of a folder, read and written whole for the speech settings page.
namespace SpeechIniFile {

QString path(const QString &dir);

struct Contents
{
    bool ok = false;     // false: the file exists but cannot be read, is no UTF-8 text, or is wrong
    QString text;        // the file as it is; empty when there is none
    SpeechConfig config; // what the text says (the defaults when there is no file)
    QString error;       // why it is not ok: a line for the log and the page
};
Contents read(const QString &dir);

// Replaces the file with text through a new file renamed over it, so a crash or a
// full disk never leaves half of it. A file that holds a key is readable by its owner
// only; otherwise the old file's permissions stay. False and *error when it failed.
bool write(const QString &dir, const QString &text, bool holdsKey, QString *error);

} // namespace SpeechIniFile
