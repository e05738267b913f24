#pragma once

#include <QAudioFormat>
#include <QByteArray>

// The format record.wav's header describes: 16 kHz, mono, signed 16-bit little-endian PCM.
QAudioFormat wavFormat();

// Converts PCM samples of any linear format Qt can deliver (8/16/32-bit integer,
// signed or not, either byte order, 32-bit float; any rate and channel count) to
// the WAV format above: channels are averaged, the rate is resampled linearly.
// An unusable format (no rate, no channels, an unknown sample size) gives an empty result.
QByteArray convertToWavFormat(const QByteArray &pcm, const QAudioFormat &from);
