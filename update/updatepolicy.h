#pragma once

#include "app/settings.h"

// What the three choices of "软件更新" in the settings dialog mean.
enum class UpdatePolicy
{
    Automatic, // "有更新时自动为我更新": ask the server, open the product page, tell the user
    Remind, // "有更新时不安装，但提醒我": ask, tell, open the page only if the user agrees
    Never // "不自动更新": the server is not asked at all
};

// The policy the settings hold. With several keys at 1 the first of
// AutomaticUpdate, ReminderUpdate, NotUpdate wins, as the dialog shows it;
// with none of them at 1 the default, Automatic.
UpdatePolicy updatePolicy(const SettingsMap &settings);
