#include "app/autostart.h"

#include "app/settingkeys.h"
#include "platform/platform.h"

void applyAutoStartSetting(SettingsMap *map)
{
    if ((*map)[SettingKey::BootUp] == 0)
        platform().setAutoStart(false);
    if ((*map)[SettingKey::BootUp] == 1)
        platform().setAutoStart(true);
}
