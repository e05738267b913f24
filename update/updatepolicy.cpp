#include "update/updatepolicy.h"

#include "app/settingkeys.h"

UpdatePolicy updatePolicy(const SettingsMap &settings)
{
    if (settings.value(QLatin1String(SettingKey::AutomaticUpdate)) == 1)
        return UpdatePolicy::Automatic;
    if (settings.value(QLatin1String(SettingKey::ReminderUpdate)) == 1)
        return UpdatePolicy::Remind;
    if (settings.value(QLatin1String(SettingKey::NotUpdate)) == 1)
        return UpdatePolicy::Never;
    return UpdatePolicy::Automatic;
}
