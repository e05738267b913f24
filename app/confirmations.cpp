#include "app/confirmations.h"

#include "app/settingkeys.h"
#include "app/settings.h"

bool confirmationsShown()
{
    return settingsMap()->value(QLatin1String(SettingKey::ClosePrompt)) != 1;
}
