#pragma once

#include "recognition/voiceactivity.h"

#include <QByteArray>

// Hears where speech starts and ends in 16 kHz, 16-bit mono PCM, from the voiced and
// quiet 10 ms frames that VoiceActivity tells apart. It decides on the audio alone, so a
// recording always ends at the same place however fast it is fed.
class EndpointDetector
{
public:
    explicit EndpointDetector(int endSilenceMs = 2000);

    // Feeds more audio; returns SPEECH_EP_LOOKING_FOR_SPEECH, SPEECH_EP_IN_SPEECH or,
    // once speech has been followed by endSilenceMs of quiet, SPEECH_EP_AFTER_SPEECH.
    int feed(const QByteArray &pcm);
    int status() const { return m_status; }

private:
    void frame(bool voiced);

    int m_endSilenceFrames;
    int m_status;
    VoiceActivity m_voice;
    int m_speechFrames = 0;
    int m_quietFrames = 0;
};
