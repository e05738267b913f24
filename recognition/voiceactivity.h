#pragma once

#include <QByteArray>
#include <QVector>

// Tells speech from quiet in 10 ms frames of 16 kHz, 16-bit mono PCM, from each frame's
// energy against the quietest frames so far. The end-of-speech detector and the phrase
// splitter hear the same frames the same way.
class VoiceActivity
{
public:
    static constexpr int frameSamples = 160; // 10 ms at 16 kHz
    static constexpr int frameBytes = frameSamples * 2;

    // With quietFloor, frames of digital silence (samples within a few steps of zero,
    // which no microphone delivers but an idle or muted source does) leave the estimate of
    // the quiet alone: otherwise the room's own noise, once the microphone delivers it,
    // sounds like speech against them for a long time.
    explicit VoiceActivity(bool quietFloor = false) : m_quietFloor(quietFloor) {}

    struct Frame
    {
        double db; // energy of the frame
        bool voiced;
    };
    // Feeds more audio; returns the frames it completes, in order. The bytes of a frame
    // not yet complete wait for the rest.
    QVector<Frame> feed(const QByteArray &pcm);

private:
    Frame frame(const qint16 *samples, int count);

    // A mean square of about 100 LSB: quieter is never speech.
    static constexpr double quietestSpeechDb = 40;
    // Start from a quiet room, so speech from the very first frame is heard as speech.
    double m_noiseDb = quietestSpeechDb;
    bool m_quietFloor;
    QByteArray m_pending; // bytes of a frame not yet complete
};
