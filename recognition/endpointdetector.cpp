#include "recognition/endpointdetector.h"

#include "recognition/speechsdk.h"

namespace {
constexpr int speechStartFrames = 15; // 150 ms of voiced frames before we believe in speech
} // namespace

EndpointDetector::EndpointDetector(int endSilenceMs)
    : m_endSilenceFrames(qMax(1, endSilenceMs / 10)), m_status(SPEECH_EP_LOOKING_FOR_SPEECH)
{
}

int EndpointDetector::feed(const QByteArray &pcm)
{
    if (m_status == SPEECH_EP_AFTER_SPEECH)
        return m_status; // the end is heard: the rest needs no listening to
    for (const VoiceActivity::Frame &f : m_voice.feed(pcm))
        frame(f.voiced);
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
