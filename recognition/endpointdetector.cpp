#include "recognition/endpointdetector.h"

#include "recognition/speechsdk.h"

#include <cmath>
#include <cstring>

namespace {
constexpr int frameSamples = 160; // 10 ms at 16 kHz
constexpr int frameBytes = frameSamples * 2;
constexpr double speechAboveNoiseDb = 15;
constexpr double quietestSpeechDb = 40; // mean square of about 100 LSB: quieter is never speech
constexpr int speechStartFrames = 15;   // 150 ms of voiced frames before we believe in speech
} // namespace

EndpointDetector::EndpointDetector(int endSilenceMs)
    : m_endSilenceFrames(qMax(1, endSilenceMs / 10)), m_status(SPEECH_EP_LOOKING_FOR_SPEECH),
      // Start from a quiet room, so speech from the very first frame is heard as speech.
      m_noiseDb(quietestSpeechDb)
{
}

int EndpointDetector::feed(const QByteArray &pcm)
{
    m_pending.append(pcm);
    const int frames = m_pending.size() / frameBytes;
    qint16 samples[frameSamples];
    for (int i = 0; i < frames && m_status != SPEECH_EP_AFTER_SPEECH; ++i) {
        std::memcpy(samples, m_pending.constData() + i * frameBytes, frameBytes);
        frame(samples, frameSamples);
    }
    m_pending.remove(0, frames * frameBytes);
    return m_status;
}

void EndpointDetector::frame(const qint16 *samples, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    const double db = 10 * std::log10(sum / count + 1);
    // The noise floor follows quieter frames at once and louder ones only slowly, so
    // a long stretch of speech does not become the new floor.
    m_noiseDb = db < m_noiseDb ? db : m_noiseDb + 0.01;
    const bool voiced = db > quietestSpeechDb && db > m_noiseDb + speechAboveNoiseDb;

    if (m_status == SPEECH_EP_LOOKING_FOR_SPEECH) {
        m_speechFrames = voiced ? m_speechFrames + 1 : qMax(0, m_speechFrames - 1);
        if (m_speechFrames >= speechStartFrames)
            m_status = SPEECH_EP_IN_SPEECH;
    } else if (m_status == SPEECH_EP_IN_SPEECH) {
        m_quietFrames = voiced ? 0 : m_quietFrames + 1;
        if (m_quietFrames >= m_endSilenceFrames)
            m_status = SPEECH_EP_AFTER_SPEECH;
    }
}
