#pragma once

// The names of the settings in config.txt, in the order of the default file.
namespace SettingKey {
constexpr char TypingModel[] = "TypingModel";
constexpr char IntelligenceModel[] = "IntelligenceModel";
constexpr char TranslationModel[] = "TranslationModel";
constexpr char TypingLanguage[] = "TypingLanguage";
constexpr char IntelligenceLanguage[] = "IntelligenceLanguage";
constexpr char TranslationLanguage[] = "TranslationLanguage";
constexpr char TranslationResultLanguage[] = "TranslationResultLanguage";
constexpr char AutomaticUpdate[] = "AutomaticUpdate";
constexpr char ReminderUpdate[] = "ReminderUpdate";
constexpr char NotUpdate[] = "NotUpdate";
constexpr char BootUp[] = "BootUp";
constexpr char ClosePrompt[] = "ClosePrompt";
constexpr char RemovePunctuation[] = "RemovePunctuation";
constexpr char MonitorTalvoxMouseConnect[] = "MonitorTalvoxMouseConnect";
// 1: a held side button is Ferrule's alone and a tap still reaches the window (X11).
constexpr char ExclusiveSideButtons[] = "ExclusiveSideButtons";
} // namespace SettingKey

// Language indices shared by TypingLanguage, IntelligenceLanguage and TranslationLanguage.
enum Language
{
    Mandarin = 0,
    English = 1,
    Cantonese = 2,
    Sichuanese = 3,
    Henanese = 4
};
