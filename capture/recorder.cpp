#include "capture/recorder.h"

#include "app/datafiles.h"
#include "capture/pcmconvert.h"
#include "capture/pulsemicrophone.h"
#include "recognition/speechsdk.h"

#include <QAudioDeviceInfo>
#include <QAudioInput>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QSaveFile>
#include <QtEndian>

#include <memory>

namespace {

// Process-wide recorder state; lives until the process ends. A start that
// could not capture is remembered until its stop, which reports it.
enum class State
{
    Idle,
    Capturing,
    Failed,
};
State state = State::Idle;
// A capture runs through PulseAudio when its server answers, else through Qt's
// audio input (ALSA).
std::unique_ptr<PulseMicrophone> pulseCapture;
QAudioInput *audioInput = nullptr;
// The audio input's samples, read as they come. Qt deletes this device when the
// sound server goes away during the capture.
QPointer<QIODevice> captured;
QFile recordFile;
bool writeFailed = false; // written by the capture's thread, read after it ended
// The speech engine hears the samples as they come when they are what record.wav will
// hold (see SpeechListen); FIRST until the first block has gone. Written before the
// capture starts, then only on the thread that delivers the samples.
bool listening = false;
int listenStatus = SPEECH_AUDIO_FIRST;

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

// Moves what the microphone delivered into record.raw. The samples are written
// here rather than by the audio input itself, which would pass over a write
// that fails (full disk, file-size limit): after one, record.raw is not the
// utterance any more, so the rest is dropped and the stop reports the failure.
void appendSamples(const char *data, qint64 size)
{
    if (listening && !writeFailed && size > 0) {
        SpeechListen(data, unsigned(size), listenStatus);
        listenStatus = SPEECH_AUDIO_CONTINUE;
    }
    for (qint64 done = 0; !writeFailed && done < size;) {
        // A short write leaves the reason to the next one.
        const qint64 n = recordFile.write(data + done, size - done);
        if (n <= 0) {
            writeFailed = true;
            qWarning().noquote() << QStringLiteral("%1 could not be written: %2 !")
                                        .arg(DataFiles::recordRaw, recordFile.errorString());
        }
        done += n;
    }
}

void saveCaptured()
{
    if (!captured)
        return;
    const QByteArray block = captured->readAll();
    appendSamples(block.constData(), block.size());
}

bool startPulseCapture()
{
    auto microphone = std::make_unique<PulseMicrophone>();
    QString why;
    if (!microphone->start([](const char *data, size_t size) { appendSamples(data, qint64(size)); },
                           &why)) {
        qDebug().noquote() << QStringLiteral("PulseAudio microphone not available: %1").arg(why);
        return false;
    }
    pulseCapture = std::move(microphone);
    return true;
}

// Ends the capture; false when the microphone failed during it.
bool stopCapture(QAudioFormat *format)
{
    QString why;
    bool whole = true;
    if (pulseCapture) {
        whole = pulseCapture->stop(&why);
        pulseCapture.reset();
        *format = wavFormat();
    } else {
        saveCaptured(); // what came since the last notification
        // A sound server that went away takes the device with it and leaves a fatal error.
        whole = captured && audioInput->error() != QAudio::FatalError &&
                audioInput->error() != QAudio::IOError;
        if (!whole)
            why = captured ? QStringLiteral("audio input error %1").arg(int(audioInput->error()))
                           : QStringLiteral("the audio device went away");
        *format = audioInput->format();
        audioInput->stop();
        delete audioInput;
        audioInput = nullptr;
        captured = nullptr;
    }
    recordFile.close();
    if (!whole)
        qWarning().noquote()
            << QStringLiteral("The microphone failed during the recording (%1) !").arg(why);
    return whole;
}

qint64 writeWav(const QString &rawName, const QString &wavName, const QAudioFormat *rawFormat)
{
    QFile raw(rawName);
    // ReadWrite creates a missing raw file, so a press without audio still gives a WAV.
    if (!raw.open(QIODevice::ReadWrite)) {
        qWarning().noquote()
            << QStringLiteral("%1 could not be opened: %2 !").arg(rawName, raw.errorString());
        return -1;
    }
    // Written beside the old file and renamed over it: a failure leaves it whole.
    QSaveFile wav(wavName);
    if (!wav.open(QIODevice::WriteOnly)) {
        qWarning().noquote()
            << QStringLiteral("%1 could not be written: %2 !").arg(wavName, wav.errorString());
        return -2;
    }

    QByteArray samples = raw.readAll();
    raw.close();
    if (rawFormat && *rawFormat != wavFormat())
        samples = convertToWavFormat(samples, *rawFormat);

    const qint64 n = samples.size();
    wav.write(wavHeader(static_cast<quint32>(n)));
    wav.write(samples);
    if (!wav.commit()) {
        qWarning().noquote()
            << QStringLiteral("%1 could not be written: %2 !").arg(wavName, wav.errorString());
        return -2;
    }
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
    return state == State::Capturing;
}

bool startRecording()
{
    if (state != State::Idle)
        return false;
    // Until the capture runs, this press has failed: its stop must not pass an
    // older record.wav off as this utterance.
    state = State::Failed;
    recordFile.setFileName(DataFiles::recordRaw);
    // An audio input started on a sink that is not open writes nothing, and says
    // so twenty times a second.
    if (!recordFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        qWarning().noquote() << QStringLiteral("%1 could not be opened: %2 !")
                                    .arg(DataFiles::recordRaw, recordFile.errorString());
        return true;
    }

    writeFailed = false;
    // PulseAudio records in the WAV file's own format.
    listening = true;
    listenStatus = SPEECH_AUDIO_FIRST;
    if (startPulseCapture()) {
        state = State::Capturing;
        return true;
    }

    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultInputDevice();
    if (device.isNull()) {
        qWarning() << "No audio input device !";
        recordFile.close();
        return true;
    }

    QAudioFormat format = wavFormat();
    if (!device.isFormatSupported(format)) {
        qDebug() << "Default format not supported, trying to use the nearest.";
        format = device.nearestFormat(format);
    }

    audioInput = new QAudioInput(device, format);
    listening = format == wavFormat();
    captured = audioInput->start();
    if (captured)
        QObject::connect(captured, &QIODevice::readyRead, audioInput, &saveCaptured);
    if (!captured || audioInput->error() != QAudio::NoError) {
        // The device is listed but cannot be opened (no audio server).
        qWarning() << "Audio input could not be opened !";
        delete audioInput;
        audioInput = nullptr;
        recordFile.close();
        return true;
    }
    state = State::Capturing;
    return true;
}

void discardRecording()
{
    const State was = state;
    state = State::Idle;
    if (was != State::Capturing)
        return;
    QAudioFormat format;
    stopCapture(&format);
}

RecordingResult stopRecording()
{
    const State was = state;
    state = State::Idle;
    if (was == State::Idle)
        return RecordingResult::NoRecording;
    if (was == State::Failed)
        return RecordingResult::Failed;

    QAudioFormat format;
    if (!stopCapture(&format) || writeFailed)
        return RecordingResult::Failed;

    const qint64 n = writeWavFile(DataFiles::recordRaw, DataFiles::recordWav, format);
    if (n < 0)
        return RecordingResult::Failed;
    if (n == 0)
        return RecordingResult::NoAudio;
    qDebug() << "RecordFile Save Success !";
    return RecordingResult::Saved;
}
