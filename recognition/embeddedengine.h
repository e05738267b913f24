#pragma once

#include "recognition/speechconfig.h"
#include "recognition/transcriber.h"

#include <QMap>
#include <QSet>

#include <memory>

struct ps_decoder_s;

// Recognition on this computer with pocketsphinx. A language's model is loaded on its
// first utterance and kept: loading takes a few hundred milliseconds and about 85 MB,
// far more than decoding a short utterance. The utterance is decoded in one piece
// after the release, though that wait grows with its length: decoding it block by
// block while the user speaks would leave only a few hundredths of a second, but it
// normalises the cepstra with a mean estimated before the utterance is whole, and even
// carried from one utterance to the next that loses words (bench/speech/bench_accuracy:
// 19 % against 4.8 % on the packaged "cards" recordings, 22.5 % against 21 % on librivox).
class EmbeddedEngine : public Transcriber
{
public:
    explicit EmbeddedEngine(const SpeechConfig &config);
    ~EmbeddedEngine() override;

    int checkLanguage(const QString &language) const override;
    int prepare(const QString &language) override;
    int transcribe(const QString &language, const QByteArray &pcm, const QStringList &userWords,
                   const std::atomic_bool &cancelled, QByteArray *text) override;
    bool transcribesPhrases() const override { return true; }

private:
    struct Decoder;
    void favourUserWords(Decoder &decoder, const QStringList &userWords);

    SpeechConfig m_config;
    QMap<QString, std::shared_ptr<Decoder>> m_decoders;
};
