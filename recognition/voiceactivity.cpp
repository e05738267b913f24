#include "recognition/voiceactivity.h"

#include <cmath>
#include <cstring>

namespace {
constexpr double speechAboveNoiseDb = 15;
constexpr double digitalSilenceDb = 10; // a mean square of 9: samples of 3 steps or less
} // namespace

VoiceActivity::Frame VoiceActivity::frame(const qint16 *samples, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    const double db = 10 * std::log10(sum / qMax(1, count) + 1);
    // The noise floor follows quieter frames at once and louder ones only slowly, so
    // a long stretch of speech does not become the new floor.
    if (!(m_quietFloor && db < digitalSilenceDb))
        m_noiseDb = db < m_noiseDb ? db : m_noiseDb + 0.01;
    return {db, db > quietestSpeechDb && db > m_noiseDb + speechAboveNoiseDb};
}

QVector<VoiceActivity::Frame> VoiceActivity::feed(const QByteArray &pcm)
{
    m_pending.append(pcm);
    const int count = m_pending.size() / frameBytes;
    QVector<Frame> frames;
    frames.reserve(count);
    qint16 samples[frameSamples];
    for (int i = 0; i < count; ++i) {
        std::memcpy(samples, m_pending.constData() + i * frameBytes, frameBytes);
        frames.append(frame(samples, frameSamples));
    }
    m_pending.remove(0, count * frameBytes);
    return frames;
}
