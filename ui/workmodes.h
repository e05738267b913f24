#pragma once

#include "app/settingkeys.h"

// Each work mode's switch (1 when it is on) and the language it recognizes, in
// the order typing, intelligent, translation.
struct ModeKeys
{
    const char *mode;
    const char *language;
};

constexpr ModeKeys workModes[3] = {
    {SettingKey::TypingModel, SettingKey::TypingLanguage},
    {SettingKey::IntelligenceModel, SettingKey::IntelligenceLanguage},
    {SettingKey::TranslationModel, SettingKey::TranslationLanguage},
};
