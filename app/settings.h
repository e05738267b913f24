#pragma once

#include <QMap>
#include <QString>

using SettingsMap = QMap<QString, int>;

// The one process-wide settings map, loaded from ./config.txt on the first call.
// A key that is absent reads as 0 and is inserted (QMap::operator[]).
SettingsMap *settingsMap();

// Fills map from ./config.txt; logs "open file failed !" when it cannot be read.
// An empty file reads as the defaults.
void loadSettingsMap(SettingsMap *map);

// Replaces ./config.txt with the whole map in key order. The new content is
// written beside the old file and then renamed over it, so a crash or a full
// disk never leaves a half-written file. Returns false (and logs
// "open file failed !") when the file could not be replaced.
bool saveSettingsMap(SettingsMap *map);

// Writes the default ./config.txt when it is not a regular file or is empty,
// otherwise loads the map. When the defaults cannot be written (a full disk),
// the map holds them all the same.
void createDefaultConfig();

// The value of key, or its default when config.txt does not name it (a file
// written before the key existed); the map is left as it is.
int settingOrDefault(const char *key);

// Sets the three work-mode keys together: exactly one of them 1.
void setWorkMode(SettingsMap *map, int typing, int intelligence, int translation);
