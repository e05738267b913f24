#pragma once

#include "recognition/speechconfig.h"
#include "recognition/transcriber.h"

#include <QUrl>

#include <memory>

class QNetworkAccessManager;

// Recognition by an OpenAI-compatible transcription service (POST multipart to
// /v1/audio/transcriptions with file, model, language and prompt; JSON reply with
// "text"), as whisper.cpp's server and many others offer it. Every wait is bounded by
// the connect and total time-outs of speech.ini.
class RemoteEngine : public Transcriber
{
public:
    explicit RemoteEngine(const SpeechConfig &config);
    ~RemoteEngine() override;

    int checkLanguage(const QString &language) const override;
    int prepare(const QString &language) override;
    int transcribe(const QString &language, const QByteArray &pcm, const QStringList &userWords,
                   const std::atomic_bool &cancelled, QByteArray *text) override;

    // The endpoint for a configured url: a full .../audio/transcriptions URL as it
    // stands, a base ending in /v1 gets /audio/transcriptions, any other base
    // /v1/audio/transcriptions.
    static QUrl endpoint(const QString &url);
    // The utterance as a WAV file with a 44-byte header.
    static QByteArray wavFile(const QByteArray &pcm);

private:
    SpeechConfig m_config;
    QUrl m_endpoint;
    std::unique_ptr<QNetworkAccessManager> m_network; // created in the worker thread
};
