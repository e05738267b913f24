#include "capture/pcmconvert.h"
#include "capture/recorder.h"
#include "common/files.h"
#include "common/readonlydir.h"
#include "common/settingsenv.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>
#include <cmath>

namespace {

quint32 u32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 u16(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

QAudioFormat format(int rate, int channels, int bits, QAudioFormat::SampleType type)
{
    QAudioFormat f = wavFormat();
    f.setSampleRate(rate);
    f.setChannelCount(channels);
    f.setSampleSize(bits);
    f.setSampleType(type);
    return f;
}

// A sine of the given frequency as 16 kHz mono signed samples.
QVector<double> sine(int frames, int rate, double hz, double amplitude)
{
    QVector<double> v(frames);
    for (int i = 0; i < frames; ++i)
        v[i] = amplitude * std::sin(2 * M_PI * hz * i / rate);
    return v;
}

} // namespace

class TestWav : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(env.enter()); }

    void header_data();
    void header();
    void missingRawGivesHeaderOnly();
    void unwritableWavKeepsOldFile();
    void stopWhileIdleLeavesWavAlone();

    void conversion_data();
    void conversion();
    void unusableFormatGivesNothing();

private:
    SettingsEnv env;
};

void TestWav::header_data()
{
    QTest::addColumn<int>("bytes");
    QTest::newRow("empty") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("one second") << 32000;
}

void TestWav::header()
{
    QFETCH(int, bytes);
    QByteArray raw(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        raw[i] = char(i * 7);
    writeAll("record.raw", raw);

    QCOMPARE(writeWavFile("./record.raw", "./record.wav"), qint64(bytes));
    const QByteArray wav = readAll("record.wav");
    QCOMPARE(wav.size(), 44 + bytes);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(u32(wav, 4), quint32(bytes + 36));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(u32(wav, 16), 16u);
    QCOMPARE(u16(wav, 20), quint16(1));
    QCOMPARE(u16(wav, 22), quint16(1));
    QCOMPARE(u32(wav, 24), 16000u);
    QCOMPARE(u32(wav, 28), 32000u);
    QCOMPARE(u16(wav, 32), quint16(2));
    QCOMPARE(u16(wav, 34), quint16(16));
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    QCOMPARE(u32(wav, 40), quint32(bytes));
    QCOMPARE(wav.mid(44), raw);
    QVERIFY(QFile::exists("record.raw")); // the raw file stays
}

void TestWav::missingRawGivesHeaderOnly()
{
    QCOMPARE(writeWavFile("./nothing.raw", "./record.wav"), qint64(0));
    QCOMPARE(readAll("record.wav").size(), 44);
    QCOMPARE(u32(readAll("record.wav"), 4), 36u);
    QVERIFY(QFile::exists("nothing.raw"));
}

void TestWav::unwritableWavKeepsOldFile()
{
    writeAll("record.raw", QByteArray(640, 'x'));
    writeAll("record.wav", "old utterance");
    QFile::setPermissions("record.raw", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                            QFile::WriteGroup | QFile::ReadOther |
                                            QFile::WriteOther);
    {
        ReadOnlyDir readOnly(env.path());
        QCOMPARE(writeWavFile("./record.raw", "./record.wav"), qint64(-2));
    }
    QCOMPARE(readAll("record.wav"), QByteArray("old utterance"));
}

void TestWav::stopWhileIdleLeavesWavAlone()
{
    writeAll("record.raw", QByteArray(640, 'x'));
    writeAll("record.wav", "old utterance");
    QVERIFY(!isRecording());
    QCOMPARE(stopRecording(), RecordingResult::NoRecording);
    QCOMPARE(readAll("record.wav"), QByteArray("old utterance"));
}

void TestWav::conversion_data()
{
    QTest::addColumn<QAudioFormat>("from");

    QTest::newRow("48 kHz stereo float") << format(48000, 2, 32, QAudioFormat::Float);
    QTest::newRow("44.1 kHz stereo s16") << format(44100, 2, 16, QAudioFormat::SignedInt);
    QTest::newRow("16 kHz mono unsigned 16") << format(16000, 1, 16, QAudioFormat::UnSignedInt);
    QTest::newRow("8 kHz mono unsigned 8") << format(8000, 1, 8, QAudioFormat::UnSignedInt);
    QTest::newRow("22.05 kHz mono s32") << format(22050, 1, 32, QAudioFormat::SignedInt);
}

// One second of a 440 Hz tone in the captured format must come out as one
// second of the same tone at 16 kHz mono: same length, same loudness, same pitch.
void TestWav::conversion()
{
    QFETCH(QAudioFormat, from);
    const int rate = from.sampleRate();
    const QVector<double> tone = sine(rate, rate, 440, 0.5);

    QByteArray pcm;
    for (double v : tone) {
        for (int c = 0; c < from.channelCount(); ++c) {
            uchar b[4];
            switch (from.sampleSize()) {
            case 8:
                b[0] = uchar(std::lround(v * 127) + 128);
                break;
            case 16: {
                const long s = std::lround(v * 32767);
                qToLittleEndian<quint16>(from.sampleType() == QAudioFormat::UnSignedInt
                                             ? quint16(s + 32768)
                                             : quint16(qint16(s)),
                                         b);
                break;
            }
            case 32:
                if (from.sampleType() == QAudioFormat::Float) {
                    const float f = float(v);
                    memcpy(b, &f, 4);
                } else {
                    qToLittleEndian<qint32>(qint32(std::lround(v * 2147483647.0)), b);
                }
                break;
            }
            pcm.append(reinterpret_cast<const char *>(b), from.sampleSize() / 8);
        }
    }

    writeAll("record.raw", pcm);
    QCOMPARE(writeWavFile("./record.raw", "./record.wav", from), qint64(32000));
    const QByteArray wav = readAll("record.wav");
    QCOMPARE(u32(wav, 40), 32000u);

    const auto *s = reinterpret_cast<const qint16 *>(wav.constData() + 44);
    double energy = 0;
    int crossings = 0;
    for (int i = 0; i < 16000; ++i) {
        energy += double(s[i]) * s[i];
        if (i > 0 && (s[i - 1] < 0) != (s[i] < 0))
            ++crossings;
    }
    const double rms = std::sqrt(energy / 16000) / 32768;
    QVERIFY2(std::abs(rms - 0.5 / std::sqrt(2.0)) < 0.02, qPrintable(QString::number(rms)));
    QVERIFY2(std::abs(crossings - 880) <= 4, qPrintable(QString::number(crossings)));
}

void TestWav::unusableFormatGivesNothing()
{
    QAudioFormat bad = format(16000, 0, 16, QAudioFormat::SignedInt);
    QVERIFY(convertToWavFormat(QByteArray(100, 'x'), bad).isEmpty());
    bad = format(16000, 1, 24, QAudioFormat::SignedInt);
    QVERIFY(convertToWavFormat(QByteArray(100, 'x'), bad).isEmpty());
}

QTEST_GUILESS_MAIN(TestWav)
#include "tst_wav.moc"
