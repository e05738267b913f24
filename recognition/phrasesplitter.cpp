#include "recognition/phrasesplitter.h"

#include <limits>

namespace {
// A phrase holds speech once it has this much voiced audio: a click or a breath does not
// make one.
constexpr int speechFrames = 15;
// The stretch whose energy counts when a long phrase is cut at its quietest point.
constexpr int quietStretchFrames = 10;
} // namespace

// Measured with bench/speech/bench_accuracy on the packaged recordings, each alone and each
// set spoken as one utterance: cut at pauses of 200 to 400 ms, the word error rate is that
// of whole decoding on single recordings (cards 4.8 %, librivox 21.1 %) and no worse on the
// long utterances (librivox 21.1 % against 25.4 % whole); at 500 ms and more the long
// librivox utterance is cut once only, and loses (26.8 %). The shorter the pause, the
// sooner a phrase is decoded after its speech ends, but pauses of 200 ms fall between
// words of one breath; 300 ms cut where a reader takes breath. A phrase is taken as the
// utterance's last after 200 ms, and decoded then, before the release; every cut lies
// 100 ms after the speech, so that phrase is the same whether more speech follows or
// not. The bound keeps the decoding of any one phrase short and its memory small.
const PhraseSplitter::Rules PhraseSplitter::defaultRules{300, 200, 15000, 2000};

PhraseSplitter::PhraseSplitter(const Rules &rules)
    : m_pauseFrames(qMax(2, rules.pauseMs / 10)),
      m_endPauseFrames(qBound(2, rules.endPauseMs / 10, m_pauseFrames)),
      m_longestFrames(qMax(2, rules.longestPhraseMs / 10)),
      m_searchFrames(qBound(1, rules.quietSearchMs / 10, m_longestFrames - 1)), m_voice(true)
{
}

qsizetype PhraseSplitter::endCut() const
{
    if (m_voicedFrames < speechFrames || m_quietFrames < m_endPauseFrames)
        return -1;
    return qsizetype(m_frames - m_quietFrames + m_endPauseFrames / 2) * VoiceActivity::frameBytes;
}

QVector<qsizetype> PhraseSplitter::cuts(const QByteArray &pcm, const Rules &rules)
{
    PhraseSplitter splitter(rules);
    QVector<qsizetype> cuts = splitter.feed(pcm);
    if (splitter.endCut() >= 0)
        cuts.append(splitter.endCut());
    return cuts;
}

QVector<qsizetype> PhraseSplitter::feed(const QByteArray &pcm)
{
    QVector<qsizetype> cuts;
    for (const VoiceActivity::Frame &f : m_voice.feed(pcm))
        frame(f, &cuts);
    return cuts;
}

void PhraseSplitter::frame(const VoiceActivity::Frame &frame, QVector<qsizetype> *cuts)
{
    m_phrase.append(frame);
    ++m_frames;
    if (frame.voiced) {
        ++m_voicedFrames;
        m_quietFrames = 0;
    } else {
        ++m_quietFrames;
    }

    qint64 cut = -1;
    if (m_voicedFrames >= speechFrames && m_quietFrames >= m_pauseFrames) {
        cut = m_frames - m_quietFrames + m_endPauseFrames / 2;
    } else if (m_phrase.size() >= m_longestFrames) {
        // The quietest stretch in the search window; the earliest of equals.
        const int from = m_longestFrames - m_searchFrames;
        const int stretch = qMin(quietStretchFrames, m_searchFrames);
        double best = std::numeric_limits<double>::max();
        int bestAt = from;
        for (int at = from; at + stretch <= m_longestFrames; ++at) {
            double sum = 0;
            for (int i = at; i < at + stretch; ++i)
                sum += m_phrase.at(i).db;
            if (sum < best) {
                best = sum;
                bestAt = at;
            }
        }
        cut = m_phraseStart + bestAt + stretch / 2;
    }
    if (cut < 0)
        return;
    cuts->append(qsizetype(cut) * VoiceActivity::frameBytes);
    startPhraseAt(cut);
}

void PhraseSplitter::startPhraseAt(qint64 frame)
{
    m_phrase.remove(0, int(frame - m_phraseStart));
    m_phraseStart = frame;
    m_voicedFrames = 0;
    m_quietFrames = 0;
    for (const VoiceActivity::Frame &f : qAsConst(m_phrase)) {
        if (f.voiced) {
            ++m_voicedFrames;
            m_quietFrames = 0;
        } else {
            ++m_quietFrames;
        }
    }
}
