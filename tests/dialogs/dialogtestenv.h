#pragma once

#include "app/settings.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

// Every dialog test runs in a temporary working directory (config.txt lands
// there) with a temporary XDG_CONFIG_HOME (the autostart entry lands there).
// It must be entered before the first call of settingsMap(), which reads
// ./config.txt once for the whole process.
class DialogTestEnv
{
public:
    bool enter()
    {
        if (!dir.isValid() || !QDir::setCurrent(dir.path()))
            return false;
        QDir(dir.path()).mkpath(QStringLiteral("xdg"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg"))));
        return true;
    }

    QString autoStartEntry() const
    {
        return dir.filePath(QStringLiteral("xdg/autostart/Talvox.desktop"));
    }

    // config.txt as it is on disk, key by key.
    static QMap<QString, int> configFile()
    {
        QMap<QString, int> values;
        QFile file(QStringLiteral("./config.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return values;
        QTextStream in(&file);
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

    // Puts the map (and config.txt) into a known state and forgets the file's
    // modification, so a test can tell whether something saved again.
    static void reset(const QMap<QString, int> &values)
    {
        SettingsMap *map = settingsMap();
        map->clear();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            map->insert(it.key(), it.value());
        QFile::remove(QStringLiteral("./config.txt"));
        saveSettingsMap(map);
    }

private:
    QTemporaryDir dir;
};
