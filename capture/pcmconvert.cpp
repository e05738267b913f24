#include "capture/pcmconvert.h"

#include <QtEndian>
#include <cmath>
#include <vector>

QAudioFormat wavFormat()
{
    QAudioFormat format;
    format.setSampleRate(16000);
    format.setChannelCount(1);
    format.setSampleSize(16);
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::SignedInt);
    return format;
}

namespace {

// One sample as a value in [-1, 1).
double readSample(const uchar *p, const QAudioFormat &f)
{
    const bool little = f.byteOrder() == QAudioFormat::LittleEndian;
    switch (f.sampleSize()) {
    case 8:
        return f.sampleType() == QAudioFormat::UnSignedInt ? (p[0] - 128) / 128.0
                                                           : static_cast<qint8>(p[0]) / 128.0;
    case 16: {
        const quint16 raw = little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
        return f.sampleType() == QAudioFormat::UnSignedInt ? (raw - 32768) / 32768.0
                                                           : static_cast<qint16>(raw) / 32768.0;
    }
    case 32: {
        const quint32 raw = little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
        if (f.sampleType() == QAudioFormat::Float) {
            float value;
            memcpy(&value, &raw, sizeof value);
            return value;
        }
        return f.sampleType() == QAudioFormat::UnSignedInt
                   ? (static_cast<double>(raw) - 2147483648.0) / 2147483648.0
                   : static_cast<qint32>(raw) / 2147483648.0;
    }
    }
    return 0;
}

} // namespace

QByteArray convertToWavFormat(const QByteArray &pcm, const QAudioFormat &from)
{
    const int channels = from.channelCount();
    const int rate = from.sampleRate();
    const int bytes = from.sampleSize() / 8;
    const bool sizeKnown =
        from.sampleSize() == 8 || from.sampleSize() == 16 || from.sampleSize() == 32;
    if (channels <= 0 || rate <= 0 || !sizeKnown ||
        (from.sampleType() == QAudioFormat::Float && from.sampleSize() != 32))
        return {};

    const int frameBytes = bytes * channels;
    const qint64 frames = pcm.size() / frameBytes;
    std::vector<double> mono(static_cast<size_t>(frames));
    const auto *data = reinterpret_cast<const uchar *>(pcm.constData());
    for (qint64 i = 0; i < frames; ++i) {
        double sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += readSample(data + i * frameBytes + c * bytes, from);
        mono[static_cast<size_t>(i)] = sum / channels;
    }

    const int targetRate = 16000;
    const qint64 outFrames = frames * targetRate / rate;
    QByteArray out(static_cast<int>(outFrames * 2), Qt::Uninitialized);
    auto *dst = reinterpret_cast<uchar *>(out.data());
    for (qint64 i = 0; i < outFrames; ++i) {
        const double pos = static_cast<double>(i) * rate / targetRate;
        const auto left = static_cast<qint64>(pos);
        const double frac = pos - left;
        const double a = mono[static_cast<size_t>(left)];
        const double b = left + 1 < frames ? mono[static_cast<size_t>(left + 1)] : a;
        const double value = std::clamp((a + (b - a) * frac) * 32768.0, -32768.0, 32767.0);
        qToLittleEndian<qint16>(static_cast<qint16>(std::lround(value)), dst + i * 2);
    }
    return out;
}
