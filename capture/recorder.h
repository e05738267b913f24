#pragma once

#include <QString>

class QAudioFormat;

// Starts capturing the default microphone into ./record.raw, unless a capture
// is already running or there is no input device.
void startRecording();

// Ends the running capture and writes ./record.wav; does nothing when idle.
void stopRecording();

// Wraps a raw file of 16 kHz mono signed 16-bit samples into a WAV file with a
// 44-byte header. Returns the raw byte count n (0 or more), -1 when the raw file
// cannot be opened, -2 when the WAV file cannot be written (it is then left as it was).
qint64 writeWavFile(const QString &rawPath, const QString &wavPath);

// The same for a raw file captured in another format: the samples are converted
// so that they are what the header says.
qint64 writeWavFile(const QString &rawPath, const QString &wavPath, const QAudioFormat &rawFormat);

// True from a successful start until the next stop.
bool isRecording();
