// Saves the settings map of the current folder over and over until killed.
#include "app/settingkeys.h"
#include "app/settings.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SettingsMap *map = settingsMap();
    for (int i = 0;; ++i) {
        (*map)[SettingKey::TypingLanguage] = i % 100000;
        saveSettingsMap(map);
        if (i == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
