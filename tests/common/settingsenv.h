#pragma once

#include "app/datafiles.h"
#include "app/settings.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

// A test's own surroundings: a temporary working folder (config.txt, speech.ini
// and the recordings land there) with XDG_CONFIG_HOME inside it (the autostart
// entry lands there), left again when the environment goes. Each enter() makes a
// fresh folder, so a test whose functions start afresh enters in init(). Entered
// before the first call of settingsMap(), which reads ./config.txt once per process.
class SettingsEnv
{
public:
    SettingsEnv() = default;
    ~SettingsEnv()
    {
        if (!previous.isEmpty())
            QDir::setCurrent(previous);
    }
    SettingsEnv(const SettingsEnv &) = delete;
    SettingsEnv &operator=(const SettingsEnv &) = delete;

    bool enter()
    {
        auto fresh = std::make_unique<QTemporaryDir>();
        const QString current = QDir::currentPath();
        if (!fresh->isValid() || !QDir::setCurrent(fresh->path()))
            return false;
        if (previous.isEmpty())
            previous = current;
        dir = std::move(fresh);
        QDir(dir->path()).mkpath(QStringLiteral("xdg"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir->filePath(QStringLiteral("xdg"))));
        return true;
    }

    QString path() const { return dir ? dir->path() : QString(); }

    QString autoStartEntry() const
    {
        return QDir(path()).filePath(QStringLiteral("xdg/autostart/Talvox.desktop"));
    }

    // Sets the given keys in the map and writes config.txt afresh.
    static void set(const QMap<QString, int> &values)
    {
        SettingsMap *map = settingsMap();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            map->insert(it.key(), it.value());
        saveSettingsMap(map);
    }

    // Puts the map (and config.txt) into a known state and forgets the file's
    // modification, so a test can tell whether something saved again.
    static void reset(const QMap<QString, int> &values)
    {
        settingsMap()->clear();
        QFile::remove(DataFiles::config);
        set(values);
    }

    static int value(const char *key) { return settingsMap()->value(QString::fromLatin1(key), -1); }

    // config.txt as it is on disk.
    static QByteArray configText()
    {
        QFile file(DataFiles::config);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // config.txt as it is on disk, key by key.
    static QMap<QString, int> configFile()
    {
        QMap<QString, int> values;
        QTextStream in(configText());
        while (!in.atEnd()) {
            const QStringList parts = in.readLine().split(QLatin1Char('='));
            if (parts.size() == 2)
                values.insert(parts.at(0), parts.at(1).toInt());
        }
        return values;
    }

    static QList<int> configTriple(const char *a, const char *b, const char *c)
    {
        const QMap<QString, int> values = configFile();
        return {values.value(a, -1), values.value(b, -1), values.value(c, -1)};
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString previous;
};
