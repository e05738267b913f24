#pragma once

#include "app/settings.h"

// Start-up's use of BootUp: 0 has the session no longer start Ferrule, 1 has it
// start Ferrule from here, any other value leaves the session as it is.
void applyAutoStartSetting(SettingsMap *map);
