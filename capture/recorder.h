#pragma once

#include <QString>

class QAudioFormat;

// Starts capturing the default microphone into ./record.raw, unless a capture
// is already running. The microphone is looked up afresh each time: the sound
// server's default input as it is now. Without an input device, an audio input that cannot be
// opened or a record.raw that cannot be opened (the reason is logged) nothing is
// captured and the next stop reports a failed recording. Returns true when this
// call began a recording (even one that failed), false when one was running.
bool startRecording();

// What a stop found. Only a Saved recording has put this utterance into
// ./record.wav; in every other case the file is left as it was, so whatever it
// holds belongs to an earlier utterance and must not be recognized again.
enum class RecordingResult
{
    NoRecording, // no start came before this stop
    Failed,      // the microphone, record.raw or record.wav failed (logged)
    NoAudio,     // released before any audio arrived
    Saved,
};

// Ends the running capture and writes ./record.wav; does nothing when idle.
RecordingResult stopRecording();

// Ends the running capture without a record.wav, as if it had never begun:
// the file keeps the utterance before it. Does nothing when idle.
void discardRecording();

// Wraps a raw file of 16 kHz mono signed 16-bit samples into a WAV file with a
// 44-byte header. Returns the raw byte count n (0 or more), -1 when the raw file
// cannot be opened, -2 when the WAV file cannot be written (it is then left as it was).
qint64 writeWavFile(const QString &rawPath, const QString &wavPath);

// The same for a raw file captured in another format: the samples are converted
// so that they are what the header says.
qint64 writeWavFile(const QString &rawPath, const QString &wavPath, const QAudioFormat &rawFormat);

// True while a capture runs: from a successful start until the next stop.
bool isRecording();
