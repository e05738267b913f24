#pragma once

#include "recognition/speechconfig.h"
#include "recognition/transcriber.h"

#include <QMap>
#include <QSet>

#include <memory>

struct ps_decoder_s;

// Recognition on this computer with pocketsphinx. A language's model is loaded on its
// first utterance and kept: loading takes a few hundred milliseconds and about 85 MB,
// far more than decoding a short utterance. The utterance is decoded in one piece,
// which is much more accurate than decoding it block by block.
class EmbeddedEngine : public Transcriber
{
public:
    explicit EmbeddedEngine(const SpeechConfig &config);
    ~EmbeddedEngine() override;

    int checkLanguage(const QString &language) const override;
    int prepare(const QString &language) override;
    int transcribe(const QString &language, const QByteArray &pcm, const QStringList &userWords,
                   const std::atomic_bool &cancelled, QByteArray *text) override;

private:
    struct Decoder;
    void favourUserWords(Decoder &decoder, const QStringList &userWords);

    SpeechConfig m_config;
    QMap<QString, std::shared_ptr<Decoder>> m_decoders;
};
