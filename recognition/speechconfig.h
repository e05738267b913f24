#pragma once

#include <QMap>
#include <QString>

// The SDK's own settings, read from speech.ini in the login string's work_dir.
// No file means the embedded engine with the packaged English model.
struct SpeechModelPaths
{
    QString acousticModel; // pocketsphinx -hmm folder
    QString languageModel; // -lm file
    QString dictionary;    // -dict file
    bool operator==(const SpeechModelPaths &o) const
    {
        return acousticModel == o.acousticModel && languageModel == o.languageModel &&
               dictionary == o.dictionary;
    }
};

// [translation]: an OpenAI-compatible chat-completions service that translation mode
// asks for the translation of the recognized text. No url: no service.
struct TranslationSettings
{
    QString url;
    QString model;
    QString apiKey;
    int connectTimeoutMs = 5000;
    int requestTimeoutMs = 15000;
};

class SpeechConfig
{
public:
    enum class Engine
    {
        Embedded,
        Remote
    };

    Engine engine = Engine::Embedded;
    int resultTimeoutMs = 20000;
    int endSilenceMs = 2000; // quiet after speech that ends the utterance early
    QString path;            // the file read, for log lines; empty when there was none

    // Embedded: models per language ("english", "mandarin", "cantonese").
    QMap<QString, SpeechModelPaths> models;

    // Remote: an OpenAI-compatible transcription endpoint.
    QString url;
    QString model;
    QString apiKey;
    QMap<QString, QString> remoteLanguages; // our language name -> the service's code
    int connectTimeoutMs = 5000;
    int requestTimeoutMs = 15000; // below resultTimeoutMs, so a slow server is reported as such

    // Not the engine's: operator== leaves it out, so a change here keeps the models loaded.
    TranslationSettings translation;

    // The work_dir a login parameter string names, "." when it names none.
    static QString workDir(const QByteArray &loginParams);
    // Defaults plus the settings of workDir/speech.ini when it exists. Returns false and
    // fills *error (a line for the log) when the file exists but is unreadable or wrong.
    static bool load(const QString &workDir, SpeechConfig *config, QString *error);
    // The same from the file's text; baseDir resolves relative model paths.
    static bool parse(const QString &text, const QString &baseDir, SpeechConfig *config,
                      QString *error);

    bool operator==(const SpeechConfig &o) const;
    bool operator!=(const SpeechConfig &o) const { return !(*this == o); }
};

// The model name a recognition parameter string asks for: "english" for language en_us,
// "cantonese" for accent cantonese, "mandarin" for other zh_cn, else the language as given.
QString speechLanguageName(const QByteArray &recognitionParams);
// One value of a "key = value, key = value" parameter string (empty when absent).
QString speechParamValue(const QByteArray &params, const QString &key);
