#pragma once

#include "recognition/voiceactivity.h"

#include <QByteArray>
#include <QVector>

// Where an utterance of 16 kHz, 16-bit mono PCM splits into phrases that can each be
// decoded on their own: in the pauses between them, as VoiceActivity hears speech and
// quiet. A phrase ends once speech has been followed by pauseMs of quiet, and the last
// phrase of an utterance once its speech has been followed by endPauseMs (shorter); either
// cut lies endPauseMs / 2 into the quiet, so a phrase that may be the last can be decoded
// as soon as its speech has been followed by endPauseMs, and is the same phrase whether
// the utterance goes on or not. A phrase that reaches longestPhraseMs without a pause is
// cut at its quietest 100 ms within the last quietSearchMs before that bound.
//
// Each cut depends only on the audio up to it, so audio fed in pieces, at any pace,
// splits exactly as the same audio fed whole.
class PhraseSplitter
{
public:
    struct Rules
    {
        int pauseMs;
        int endPauseMs;
        int longestPhraseMs;
        int quietSearchMs;
    };
    // Measured on the packaged recordings (bench/speech/bench_accuracy): see phrasesplitter.cpp.
    static const Rules defaultRules;

    explicit PhraseSplitter(const Rules &rules = defaultRules);

    // Feeds more audio; returns the cuts it completed, as byte offsets from the start of
    // all audio fed, in order.
    QVector<qsizetype> feed(const QByteArray &pcm);

    // Where the open phrase ends if the utterance ends with the audio fed so far, or -1
    // when it would not be cut (no speech yet, or not yet endPauseMs of quiet after it).
    qsizetype endCut() const;

    // The cuts of a whole utterance.
    static QVector<qsizetype> cuts(const QByteArray &pcm, const Rules &rules = defaultRules);

private:
    void frame(const VoiceActivity::Frame &frame, QVector<qsizetype> *cuts);
    void startPhraseAt(qint64 frame);

    const int m_pauseFrames;
    const int m_endPauseFrames;
    const int m_longestFrames;
    const int m_searchFrames;
    VoiceActivity m_voice;
    qint64 m_frames = 0; // frames heard so far
    qint64 m_phraseStart = 0;
    QVector<VoiceActivity::Frame> m_phrase; // the frames of the open phrase
    int m_voicedFrames = 0;                 // in the open phrase
    int m_quietFrames = 0;                  // since its last voiced frame
};
