#pragma once

#include "app/settingkeys.h"
#include "recognition/speechconfig.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// Translation mode's translator: asks an OpenAI-compatible chat-completions service
// ([translation] of speech.ini: llama.cpp's server, Ollama, vLLM, a hosted one) for the
// translation of a recognized text and takes the translation out of its answer.
class Translator
{
public:
    enum class Outcome
    {
        Translated,    // text holds what to type
        NotConfigured, // no url in [translation]
        BadSettings,   // speech.ini unreadable, or url not an http(s) URL
        Unreachable,   // connection refused, unknown host, network down
        Timeout,       // no connection or no whole answer within the time-outs
        Rejected,      // HTTP error status (or a redirect to another server)
        BadReply,      // not JSON with a translation, or an empty one
    };
    struct Result
    {
        Outcome outcome = Outcome::Translated;
        QString text;
    };

    // settingsPath names speech.ini in log lines.
    Translator(const TranslationSettings &settings, const QString &settingsPath);

    // Blocks the calling thread until the answer has come or a time-out has run
    // out. The request runs in a thread of its own, so none of the caller's
    // events are handled meanwhile. Logs what failed and what to fix; the key
    // never reaches the log.
    Result translate(const QString &text, Language from, Language to) const;

    // What translation mode makes of a recognized text: from the language the
    // recognition parameters name into TranslationResultLanguage (1 Cantonese,
    // else English), with the service of speech.ini in the login string's work_dir.
    // Nothing to translate, or the same language on both sides: the text as it is,
    // without a request.
    static Result translateRecognized(const char *utf8, const QByteArray &loginParams,
                                      const QByteArray &recognitionParams, int resultLanguage);

    // The instruction sent with the text.
    static QString instruction(Language from, Language to);
    // The translation in an answer: without a <think> block, a leading label such as
    // "Translation:" or "翻译：", surrounding quotes and blanks.
    static QString cleaned(const QString &answer, Language to);
    // A few Chinese words for the prompt box; empty for Translated.
    static QString prompt(Outcome outcome);

    // A translation longer than this (UTF-8 bytes) is no translation of a recognized
    // text, which holds at most 4095 bytes: a model gone astray is not typed for pages.
    static constexpr int maxTranslationBytes = 16384;

private:
    // Runs in the request's thread: the answer's content untouched, or the failure.
    Result exchange(const QUrl &endpoint, const QByteArray &body) const;

    TranslationSettings m_settings;
    QString m_settingsPath;
};
