#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>

// The real program as the whole-road tests start it: its working folder, its
// config.txt, and an environment of its own.

// config.txt with the given work modes and languages, autostart and updates off.
inline QByteArray ferruleConfig(int typing, int typingLanguage, int intelligence,
                                int intelligenceLanguage, int translation = 0,
                                int translationLanguage = 0, int resultLanguage = 0)
{
    // Autostart off: the test's XDG_CONFIG_HOME is private anyway.
    return QStringLiteral("AutomaticUpdate=0\nBootUp=0\nClosePrompt=0\nIntelligenceLanguage=%4\n"
                          "IntelligenceModel=%3\nMonitorTalvoxMouseConnect=0\nNotUpdate=1\n"
                          "ReminderUpdate=0\nRemovePunctuation=0\nTranslationLanguage=%6\n"
                          "TranslationModel=%5\nTranslationResultLanguage=%7\nTypingLanguage=%2\n"
                          "TypingModel=%1\n")
        .arg(typing)
        .arg(typingLanguage)
        .arg(intelligence)
        .arg(intelligenceLanguage)
        .arg(translation)
        .arg(translationLanguage)
        .arg(resultLanguage)
        .toUtf8();
}

// The data files the program reads from its working folder, from the source tree.
inline bool copyFerruleData(const QString &runDir)
{
    const QString source = qEnvironmentVariable("FERRULE_SOURCE_DIR");
    for (const char *name : {"websearch.txt", "userwords.txt"})
        if (!QFile::copy(source + QStringLiteral("/data/") + QLatin1String(name),
                         runDir + QLatin1Char('/') + QLatin1String(name)))
            return false;
    return true;
}

// This process's environment with a single-instance socket and an autostart
// folder of the program's own under home, away from other runs.
inline QProcessEnvironment ferruleEnvironment(const QString &home)
{
    QDir(home).mkpath(QStringLiteral("tmp"));
    QDir(home).mkpath(QStringLiteral("config"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    return env;
}
