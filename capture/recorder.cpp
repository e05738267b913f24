#include "capture/recorder.h"

#include "capture/pcmconvert.h"

#include <QAudioDeviceInfo>
#include <QAudioInput>
#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

namespace {

// Process-wide recorder state; lives until the process ends.
bool recording = false;
QAudioInput *audioInput = nullptr;
QFile recordFile;

const char rawPath[] = "./record.raw";
const char wavPath[] = "./record.wav";

QByteArray wavHeader(quint32 dataBytes)
{
    uchar h[44];
    memcpy(h, "RIFF", 4);
    qToLittleEndian<quint32>(dataBytes + 36, h + 4);
    memcpy(h + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, h + 16);
    qToLittleEndian<quint16>(1, h + 20);     // PCM
    qToLittleEndian<quint16>(1, h + 22);     // mono
    qToLittleEndian<quint32>(16000, h + 24); // sample rate
    qToLittleEndian<quint32>(32000, h + 28); // byte rate
    qToLittleEndian<quint16>(2, h + 32);     // block align
    qToLittleEndian<quint16>(16, h + 34);    // bits per sample
    memcpy(h + 36, "data", 4);
    qToLittleEndian<quint32>(dataBytes, h + 40);
    return QByteArray(reinterpret_cast<const char *>(h), sizeof h);
}

qint64 writeWav(const QString &rawName, const QString &wavName, const QAudioFormat *rawFormat)
{
    QFile raw(rawName);
    // ReadWrite creates a missing raw file, so a press without audio still gives a WAV.
    if (!raw.open(QIODevice::ReadWrite))
        return -1;
    // Written beside the old file and renamed over it: a failure leaves it whole.
    QSaveFile wav(wavName);
    if (!wav.open(QIODevice::WriteOnly))
        return -2;

    QByteArray samples = raw.readAll();
    raw.close();
    if (rawFormat && *rawFormat != wavFormat())
        samples = convertToWavFormat(samples, *rawFormat);

    const qint64 n = samples.size();
    wav.write(wavHeader(static_cast<quint32>(n)));
    wav.write(samples);
    if (!wav.commit())
        return -2;
    return n;
}

} // namespace

qint64 writeWavFile(const QString &rawName, const QString &wavName)
{
    return writeWav(rawName, wavName, nullptr);
}

qint64 writeWavFile(const QString &rawName, const QString &wavName, const QAudioFormat &rawFormat)
{
    return writeWav(rawName, wavName, &rawFormat);
}

bool isRecording()
{
    return recording;
}

void startRecording()
{
    if (recording)
        return;
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultInputDevice();
    if (device.isNull())
        return;

    QAudioFormat format = wavFormat();
    if (!device.isFormatSupported(format)) {
        qDebug() << "Default format not supported, trying to use the nearest.";
        format = device.nearestFormat(format);
    }

    recording = true;
    recordFile.setFileName(rawPath);
    recordFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);

    audioInput = new QAudioInput(device, format);
    audioInput->start(&recordFile);
    if (audioInput->error() != QAudio::NoError) {
        // The device is listed but cannot be opened (no audio server): behave
        // as without a device, so the release keeps the last record.wav.
        qDebug() << "Audio input could not be opened !";
        delete audioInput;
        audioInput = nullptr;
        recordFile.close();
        recording = false;
    }
}

void stopRecording()
{
    if (!recording)
        return;
    recording = false;

    QAudioFormat captured = wavFormat();
    if (audioInput) {
        captured = audioInput->format();
        audioInput->stop();
        recordFile.close();
        delete audioInput;
        audioInput = nullptr;
    }

    if (writeWavFile(rawPath, wavPath, captured) > 0)
        qDebug() << "RecordFile Save Success !";
}
