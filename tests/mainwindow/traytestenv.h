#pragma once

#include "app/settings.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>

// A temporary working directory for config.txt. It must be entered before
// the first call of settingsMap(), which reads ./config.txt once per process.
class TrayTestEnv
{
public:
    bool enter() { return dir.isValid() && QDir::setCurrent(dir.path()); }

    QString path() const { return dir.path(); }

    // Sets the given keys in the map and writes config.txt afresh.
    static void set(const QMap<QString, int> &values)
    {
        SettingsMap *map = settingsMap();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            map->insert(it.key(), it.value());
        saveSettingsMap(map);
    }

    static int value(const char *key) { return settingsMap()->value(QString::fromLatin1(key), -1); }

    // config.txt as it is on disk.
    static QByteArray configText()
    {
        QFile file(QStringLiteral("./config.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

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

private:
    QTemporaryDir dir;
};
