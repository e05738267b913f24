#pragma once

#include "app/settings.h"

#include <QString>

// Start with the desktop session: an XDG autostart entry named Talvox.desktop
// in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).

// With true, writes the entry for this program (its own path, or the
// launcher's for the installed program, run in the current working
// directory); with false, removes the entry. Reports nothing:
// a session that cannot be written to simply does not start Ferrule.
void setAutoStart(bool enable);

// Start-up's use of BootUp: 0 removes the entry, 1 writes it, any other value
// leaves the entry as it is.
void applyAutoStartSetting(SettingsMap *map);

// Where the entry lives for the current environment.
QString autoStartEntryPath();

// The text of an entry that starts program in workDir.
QString autoStartEntryText(const QString &program, const QString &workDir);
