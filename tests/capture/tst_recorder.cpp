#include "capture/mousehook.h"
#include "capture/recorder.h"

#include "common/files.h"
#include "common/logcapture.h"
#include "common/pulseserver.h"
#include "common/readonlydir.h"
#include "common/settingsenv.h"

#include <QAudioDeviceInfo>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

// Real captures from the default source of a private PulseAudio server (started
// by scripts/testenv/with-pulse): speech played into its null sink is what the
// microphone hears.
namespace {

// Loudness of 20 ms windows of 16 kHz mono signed 16-bit samples.
QVector<double> envelope(const QByteArray &pcm)
{
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const int count = pcm.size() / 2;
    QVector<double> env;
    for (int start = 0; start + 320 <= count; start += 320) {
        double sum = 0;
        for (int i = start; i < start + 320; ++i)
            sum += double(s[i]) * s[i];
        env << std::sqrt(sum / 320);
    }
    return env;
}

// Best Pearson correlation of b against a shifted over every lag.
double bestCorrelation(const QVector<double> &recorded, const QVector<double> &played)
{
    double best = -1;
    for (int lag = 0; lag + played.size() <= recorded.size(); ++lag) {
        double ma = 0, mb = 0;
        for (int i = 0; i < played.size(); ++i) {
            ma += recorded[lag + i];
            mb += played[i];
        }
        ma /= played.size();
        mb /= played.size();
        double cov = 0, va = 0, vb = 0;
        for (int i = 0; i < played.size(); ++i) {
            const double a = recorded[lag + i] - ma, b = played[i] - mb;
            cov += a * b;
            va += a * a;
            vb += b * b;
        }
        if (va > 0 && vb > 0)
            best = std::max(best, cov / std::sqrt(va * vb));
    }
    return best;
}

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(env.enter()); }

    void capturesPlayedSpeech();
    void startTwiceCapturesOnce();
    void failedCapture_data();
    void failedCapture();
    void noAudioServerDoesNothing();
    void soundServerComesAndGoes_data();
    void soundServerComesAndGoes();

private:
    SettingsEnv env;
};

void TestRecorder::capturesPlayedSpeech()
{
    QVERIFY(run("espeak-ng", {"-w", "speech.wav", "Hold the side button and speak to the mouse."}));
    QVERIFY(run("sox", {"speech.wav", "-r", "16000", "-c", "1", "-b", "16", "-e", "signed", "-t",
                        "raw", "speech.raw"}));
    const QByteArray played = readAll("speech.raw");
    QVERIFY(played.size() > 32000);

    QVERIFY(!QAudioDeviceInfo::defaultInputDevice().isNull());
    QElapsedTimer clock;
    clock.start();
    startRecording();
    QVERIFY(isRecording());
    // Wait until audio flows before playing, as a user waits for the prompt.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo("record.raw").size() > 3200, 5000);
    QVERIFY(run("pacat", {"--playback", "--raw", "--rate=16000", "--channels=1", "--format=s16le",
                          "speech.raw"}));
    const qint64 after = QFileInfo("record.raw").size();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo("record.raw").size() > after + 16000, 5000);
    stopRecording();
    const double seconds = clock.elapsed() / 1000.0;
    QVERIFY(!isRecording());

    const QByteArray wav = readAll("record.wav");
    QVERIFY(wav.size() > 44);
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 40), quint32(wav.size() - 44));
    const QByteArray recorded = wav.mid(44);
    const double recordedSeconds = recorded.size() / 32000.0;
    QVERIFY2(recordedSeconds > seconds - 0.5 && recordedSeconds <= seconds + 0.1,
             qPrintable(QStringLiteral("recorded %1 s in %2 s").arg(recordedSeconds).arg(seconds)));

    const double correlation = bestCorrelation(envelope(recorded), envelope(played));
    QVERIFY2(correlation > 0.8, qPrintable(QString::number(correlation)));
    qInfo("loudness correlation %.3f, %.2f s recorded in %.2f s", correlation, recordedSeconds,
          seconds);
}

void TestRecorder::startTwiceCapturesOnce()
{
    startRecording();
    QVERIFY(isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo("record.raw").size() > 6400, 5000);
    const qint64 before = QFileInfo("record.raw").size();
    startRecording(); // must neither restart nor truncate the capture
    QVERIFY(QFileInfo("record.raw").size() >= before);
    QTest::qWait(300);
    stopRecording();
    QVERIFY(!isRecording());
    const QByteArray wav = readAll("record.wav");
    QVERIFY(wav.size() - 44 >= before);
    QCOMPARE(readAll("record.raw"), wav.mid(44));
}

void TestRecorder::failedCapture_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("logged");
    QTest::newRow("record.raw cannot be opened")
        << true << QStringLiteral("./record.raw could not be opened");
    QTest::newRow("record.raw cannot grow: file-size limit")
        << false << QStringLiteral("./record.raw could not be written: File too large");
}

// A capture whose file fails is a failed recording: record.wav keeps the last
// utterance, and the stop says so instead of pretending it saved this one.
void TestRecorder::failedCapture()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, logged);
    writeAll("record.wav", "previous utterance");
    LogCapture log;
    // Odd, where samples come in pairs of bytes: the file reaches it only by a
    // write cut short, which then fails.
    constexpr rlim_t limit = 16001;
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    {
        std::unique_ptr<ReadOnlyDir> unwritable;
        if (readOnly)
            unwritable = std::make_unique<ReadOnlyDir>(env.path());
        // As the program does: a write past the limit fails instead of killing us.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = limit;
        if (!readOnly)
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        startRecording();
        QCOMPARE(isRecording(), !readOnly);
        if (!readOnly)
            QTRY_COMPARE_WITH_TIMEOUT(QFileInfo("record.raw").size(), qint64(limit), 5000);
        const RecordingResult result = stopRecording();
        setrlimit(RLIMIT_FSIZE, &previous);
        QCOMPARE(result, RecordingResult::Failed);
    }
    QVERIFY(!isRecording());
    QVERIFY2(log.contains(logged), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(readAll("record.wav"), QByteArray("previous utterance"));
}

void TestRecorder::noAudioServerDoesNothing()
{
    QFile old("record.wav");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("previous utterance");
    old.close();

    startRecording();
    QVERIFY(!isRecording());
    QCOMPARE(stopRecording(), RecordingResult::Failed);
    QCOMPARE(readAll("record.wav"), QByteArray("previous utterance"));
}

void TestRecorder::soundServerComesAndGoes_data()
{
    QTest::addColumn<bool>("upAtFirst");      // the server runs at the first press
    QTest::addColumn<bool>("killDuringHold"); // and is killed while it is held
    QTest::addColumn<int>("downMs");          // how long the server stays away
    QTest::addColumn<QString>("logged");
    // In this order: the first row starts the process without a server.
    QTest::newRow("absent at start, then started")
        << false << false << 0 << "PulseAudio microphone not available";
    QTest::newRow("killed during a hold")
        << true << true << 0 << "The microphone failed during the recording";
    QTest::newRow("down for 5 s and back")
        << true << false << 5000 << "PulseAudio microphone not available";
}

// The sound server goes away and comes back (a crash, an upgrade, a late
// start): no crash, a press while it is away fails as any failed recording
// does, and the first press after it is back records.
void TestRecorder::soundServerComesAndGoes()
{
    QFETCH(bool, upAtFirst);
    QFETCH(bool, killDuringHold);
    QFETCH(int, downMs);
    QFETCH(QString, logged);
    static PulseServer server; // one for the run: the first row needs none before it
    LogCapture log;
    PromptRecorder prompts;
    const auto audioFlows = [] {
        return QTest::qWaitFor([] { return QFileInfo("record.raw").size() > 3200; }, 5000);
    };

    if (upAtFirst) {
        QVERIFY(server.start());
        startRecording();
        QVERIFY(isRecording());
        QVERIFY(audioFlows());
        if (!killDuringHold)
            QCOMPARE(stopRecording(), RecordingResult::Saved);
        server.kill();
    }
    QElapsedTimer away;
    away.start();
    if (!killDuringHold)
        mouseHookProc(0, WM_XBUTTONDOWN, 0);
    QTest::qWait(300); // Qt's audio layer learns of a lost server through its event loop
    mouseHookProc(0, WM_XBUTTONUP, 0);
    QVERIFY(!isRecording());
    QVERIFY2(prompts.texts.contains(QStringLiteral("麦克风录音失败")),
             qPrintable(prompts.texts.join(QLatin1Char(','))));

    QTest::qWait(int(qMax<qint64>(0, downMs - away.elapsed())));
    QVERIFY(server.start());
    startRecording();
    QVERIFY(isRecording());
    QVERIFY(audioFlows());
    QCOMPARE(stopRecording(), RecordingResult::Saved);
    server.kill();
    QVERIFY2(log.contains(logged), qPrintable(log.lines().join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
