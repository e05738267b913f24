#include "recognition/endpointdetector.h"

#include "recognition/speechsdk.h"

#include <cstring>

namespace {
constexpr int speechStartFrames = 15; // 150 ms of voiced frames before we believe in speech
} // namespace

EndpointDetector::EndpointDetector(int endSilenceMs)
    : m_endSilenceFrames(qMax(1, endSilenceMs / 10)), m_status(SPEECH_EP_LOOKING_FOR_SPEECH)
{
}

int EndpointDetector::feed(const QByteArray &pcm)
{
    m_pending.append(pcm);
    const int frames = m_pending.size() / VoiceActivity::frameBytes;
    qint16 samples[VoiceActivity::frameSamples];
    for (int i = 0; i < frames && m_status != SPEECH_EP_AFTER_SPEECH; ++i) {
        std::memcpy(samples, m_pending.constData() + i * VoiceActivity::frameBytes,
                    VoiceActivity::frameBytes);
        frame(m_voice.frame(samples, VoiceActivity::frameSamples).voiced);
    }
    m_pending.remove(0, frames * VoiceActivity::frameBytes);
    return m_status;
}

void EndpointDetector::frame(bool voiced)
{
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
