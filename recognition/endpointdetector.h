#pragma once

#include <QByteArray>

// Hears where speech starts and ends in 16 kHz, 16-bit mono PCM, from the energy of
// 10 ms frames against the quietest frames so far. It decides on the audio alone, so a
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
    void frame(const qint16 *samples, int count);

    int m_endSilenceFrames;
    int m_status;
    double m_noiseDb;
    int m_speechFrames = 0;
    int m_quietFrames = 0;
    QByteArray m_pending; // bytes of a frame not yet complete
};
