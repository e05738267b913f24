#pragma once

#include "recognition/transcriber.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

// An utterance transcribed phrase by phrase, in the engine's worker thread only. The
// phrases heard while the button is held are transcribed as soon as they end
// (transcribeAhead); after the release the utterance finds them among its own phrases,
// by their audio, and transcribes only the rest. The text is the same as without
// transcribing ahead, only sooner.
class PhraseTranscriber
{
public:
    explicit PhraseTranscriber(Transcriber &transcriber) : m_transcriber(transcriber) {}

    // One phrase of the utterance being heard. Those of older utterances are dropped,
    // and an earlier phrase with the same start is replaced by this longer self.
    void transcribeAhead(quint64 utterance, const QString &language, qsizetype start,
                         const QByteArray &pcm, const QStringList &words);
    // The phrases of pcm up to speechEnd, which end at cuts, joined into *text.
    int transcribe(const QString &language, const QByteArray &pcm, const QVector<qsizetype> &cuts,
                   qsizetype speechEnd, const QStringList &words, const std::atomic_bool &cancelled,
                   QByteArray *text);

private:
    struct HeardPhrase
    {
        quint64 utterance;
        qsizetype start;
        QByteArray pcm;
        QString language;
        QStringList words;
        QByteArray text;
    };
    // The text transcribed ahead for this phrase, or null.
    const QByteArray *heardText(const QString &language, qsizetype start, const QByteArray &pcm,
                                const QStringList &words) const;

    Transcriber &m_transcriber;
    // What was transcribed while the button was held, of which utterance, and the
    // processor time it took (wasted guesses at the last phrase too).
    QList<HeardPhrase> m_heard;
    quint64 m_heardUtterance = 0;
    double m_heardCpuSeconds = 0;
};
