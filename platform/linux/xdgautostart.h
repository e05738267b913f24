#pragma once

#include <QString>

// Start with the desktop session: an XDG autostart entry named Talvox.desktop
// in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).

// With true, writes the entry for this program (its own path, or the
// launcher's for the installed program, run in the current working
// directory); with false, removes the entry. A failed write is logged.
void setXdgAutoStart(bool enable);

// Where the entry lives for the current environment.
QString autoStartEntryPath();

// The text of an entry that starts program in workDir.
QString autoStartEntryText(const QString &program, const QString &workDir);
