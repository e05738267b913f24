#include "app/settings.h"

#include "app/datafiles.h"
#include "app/settingkeys.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

const std::pair<const char *, int> defaults[] = {
    {SettingKey::TypingModel, 0},
    {SettingKey::IntelligenceModel, 1},
    {SettingKey::TranslationModel, 0},
    {SettingKey::TypingLanguage, 0},
    {SettingKey::IntelligenceLanguage, 0},
    {SettingKey::TranslationLanguage, 0},
    {SettingKey::TranslationResultLanguage, 0},
    {SettingKey::AutomaticUpdate, 1},
    {SettingKey::ReminderUpdate, 0},
    {SettingKey::NotUpdate, 0},
    {SettingKey::BootUp, 1},
    {SettingKey::ClosePrompt, 0},
    {SettingKey::RemovePunctuation, 0},
    {SettingKey::MonitorTalvoxMouseConnect, 0},
    {SettingKey::ExclusiveSideButtons, 1},
};

// A full disk or a file-size limit fails the write, and the old file stays whole.
void reportWriteFailure(const QSaveFile &file)
{
    qWarning().noquote() << QStringLiteral("%1 could not be written: %2 !")
                                .arg(DataFiles::config, file.errorString());
}

// Fills in the default of every key the map lacks.
void insertDefaults(SettingsMap *map)
{
    for (const auto &[key, value] : defaults)
        if (!map->contains(QLatin1String(key)))
            map->insert(QLatin1String(key), value);
}

} // namespace

SettingsMap *settingsMap()
{
    // Lives for the whole run and is never freed: every part holds on to it.
    static SettingsMap *map = [] {
        auto *m = new SettingsMap;
        loadSettingsMap(m);
        return m;
    }();
    return map;
}

void loadSettingsMap(SettingsMap *map)
{
    QFile file(DataFiles::config);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "open file failed !";
        return;
    }
    // An empty file holds no choice of the user's (a full disk cut its writing
    // short): it reads as a missing one would be written, not as zeros, which
    // would save every key as 0 and remove the autostart entry at the next start.
    if (file.size() == 0) {
        qWarning().noquote() << QStringLiteral("%1 is empty: the default settings are used !")
                                    .arg(DataFiles::config);
        insertDefaults(map);
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        // A line without "=" (a blank line) carries no setting.
        if (!line.contains(QLatin1Char('=')))
            continue;
        const QStringList parts = line.split(QLatin1Char('='));
        map->insert(parts.at(0), parts.at(1).toInt());
    }
    for (auto it = map->cbegin(); it != map->cend(); ++it)
        qDebug().noquote() << it.key() + QLatin1Char('=') + QString::number(it.value());
}

bool saveSettingsMap(SettingsMap *map)
{
    QSaveFile file(DataFiles::config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qDebug() << "open file failed !";
        reportWriteFailure(file);
        return false;
    }
    QTextStream out(&file);
    for (auto it = map->cbegin(); it != map->cend(); ++it)
        out << it.key() << '=' << it.value() << '\n';
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit()) {
        qDebug() << "open file failed !";
        reportWriteFailure(file);
        return false;
    }
    return true;
}

void createDefaultConfig()
{
    const QFileInfo existing(DataFiles::config);
    if (existing.isFile() && existing.size() > 0) {
        settingsMap();
        return;
    }
    // A directory of that name cannot be replaced; the next load then reports it.
    QSaveFile file(DataFiles::config);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (written) {
        QTextStream out(&file);
        for (const auto &[key, value] : defaults)
            out << key << '=' << value << '\n';
        out.flush();
        written = out.status() == QTextStream::Ok && file.commit();
    }
    if (written || existing.isDir())
        return;
    // No file could be written (a full disk): the run goes on with the defaults
    // in memory, and the first save that succeeds writes them.
    reportWriteFailure(file);
    insertDefaults(settingsMap());
}

int settingOrDefault(const char *key)
{
    const SettingsMap &map = *settingsMap();
    const auto found = map.constFind(QLatin1String(key));
    if (found != map.cend())
        return found.value();
    for (const auto &[name, value] : defaults)
        if (qstrcmp(name, key) == 0)
            return value;
    return 0;
}

void setWorkMode(SettingsMap *map, int typing, int intelligence, int translation)
{
    (*map)[SettingKey::TypingModel] = typing;
    (*map)[SettingKey::IntelligenceModel] = intelligence;
    (*map)[SettingKey::TranslationModel] = translation;
}
