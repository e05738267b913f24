// How long the user waits: from letting go of the side button to the last
// character typed, for utterances of about 1, 3, 10 and 30 s on the embedded
// engine, with the real program; the CPU time the program used while the button
// was held, and the part of it that decoded phrases; how many phrases the engine
// cut the utterance into; and its resident memory idle and at peak.
// Runs under Xvfb and PulseAudio (see run.sh). Prints figures, never fails on time.
//
//   SUMMARY recognition utterance_s=D release_to_typed_s=T ratio=R hold_s=H hold_cpu_s=C
//           phrases=N held_phrases=M hold_decode_cpu_s=P
//   (one per length)
//   SUMMARY memory rss_idle_mb=I rss_peak_mb=P
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

const QString testData = QStringLiteral("/usr/share/pocketsphinx/test/data/");

struct Utterance
{
    const char *label;
    QStringList parts; // WAV files (header skipped) or raw files, played back to back
};

QByteArray samplesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("RIFF"))
        bytes.remove(0, 44);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// VmRSS / VmHWM of a process in MB.
double statusMb(qint64 pid, const char *field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// CPU seconds (user and system, all threads) a process has used so far.
double cpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command name, which may hold blanks: utime is the 12th, stime the 13th.
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// What the engine logged of the last utterance's phrases.
struct Phrases
{
    int count = -1;
    int held = -1;          // decoded while the button was held
    double cpuSeconds = -1; // processor time the decoding took while held
};

class Bench
{
public:
    bool setUp();
    // Returns the release-to-typed time in seconds, or a negative value on failure;
    // *holdSeconds and *holdCpuSeconds get how long the button was held and the
    // program's CPU time meanwhile.
    double speak(const QString &rawPath, double *holdSeconds, double *holdCpuSeconds);
    qint64 ferrulePid() const { return ferrule.processId(); }
    Phrases phrases() const { return lastPhrases; }
    void tearDown();

private:
    bool waitFor(const std::function<bool()> &condition, int timeoutMs);
    qint64 recorded() const { return QFileInfo(run.filePath(QStringLiteral("record.raw"))).size(); }

    QTemporaryDir run;
    QTemporaryDir home;
    QProcess target;
    QProcess ferrule;
    QElapsedTimer clock;
    QByteArray output;
    QString text;
    qint64 textChangedAt = 0;  // ms on clock
    qint64 firstChangeAt = -1; // the first change after the release
    Phrases lastPhrases;
};

bool Bench::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

bool Bench::setUp()
{
    clock.start();
    const QByteArray config = "AutomaticUpdate=0\nBootUp=0\nClosePrompt=0\nIntelligenceLanguage=0\n"
                              "IntelligenceModel=0\nMonitorTalvoxMouseConnect=0\nNotUpdate=1\n"
                              "ReminderUpdate=0\nRemovePunctuation=0\nTranslationLanguage=0\n"
                              "TranslationModel=0\nTranslationResultLanguage=0\nTypingLanguage=1\n"
                              "TypingModel=1\n";
    if (!writeFile(run.filePath(QStringLiteral("config.txt")), config))
        return false;
    QDir(home.path()).mkpath(QStringLiteral("tmp"));
    QDir(home.path()).mkpath(QStringLiteral("config"));

    bool ready = false;
    QObject::connect(&target, &QProcess::readyReadStandardOutput, [this, &ready] {
        while (target.canReadLine()) {
            const QByteArray line = target.readLine().trimmed();
            if (line.startsWith("ready"))
                ready = true;
            else if (line.startsWith("text ")) {
                text = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
                textChangedAt = clock.elapsed();
            }
        }
    });
    target.start(QStringLiteral(TYPING_TARGET),
                 {QStringLiteral("--report"), QStringLiteral("--at"), QStringLiteral("50,50")});
    const bool targetUp = waitFor([&ready] { return ready; }, 20000);
    QObject::disconnect(&target, nullptr, nullptr, nullptr);
    QObject::connect(&target, &QProcess::readyReadStandardOutput, [this] {
        while (target.canReadLine()) {
            const QByteArray line = target.readLine().trimmed();
            if (line.startsWith("text ")) {
                text = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
                textChangedAt = clock.elapsed();
                if (firstChangeAt < 0)
                    firstChangeAt = textChangedAt;
            }
        }
    });
    if (!targetUp) {
        std::fprintf(stderr, "the target window did not come up\n");
        return false;
    }

    ferrule.setProcessChannelMode(QProcess::MergedChannels);
    ferrule.setWorkingDirectory(run.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), home.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    // The recognized text is read back from the log: plain lines only.
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{message}"));
    ferrule.setProcessEnvironment(env);
    QObject::connect(&ferrule, &QProcess::readyRead, [this] { output += ferrule.readAll(); });
    ferrule.start(QStringLiteral(FERRULE_PROGRAM), QStringList());
    if (!waitFor([this] { return output.contains("Mouse hook installed !"); }, 20000)) {
        std::fprintf(stderr, "ferrule did not start:\n%s\n", output.constData());
        return false;
    }
    return true;
}

double Bench::speak(const QString &rawPath, double *holdSeconds, double *holdCpuSeconds)
{
    const int logFrom = output.size();
    const QString before = text;
    // The press empties record.raw some time after xdotool returns: without the
    // last utterance's file the growth of this one is told from a file of 0 bytes.
    QFile::remove(run.filePath(QStringLiteral("record.raw")));
    const qint64 start = 0;
    if (QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("mousedown"), QStringLiteral("8")}) != 0)
        return -1;
    if (!waitFor(
            [&] {
                return recorded() > start && output.indexOf("Forward button down !", logFrom) >= 0;
            },
            10000))
        return -1;
    const qint64 pressed = clock.elapsed();
    const double cpuAtPress = cpuSeconds(ferrule.processId());
    QProcess::execute(QStringLiteral("pacat"),
                      {QStringLiteral("--playback"), QStringLiteral("--raw"),
                       QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                       QStringLiteral("--format=s16le"), rawPath});
    // Let the end of the speech pass the audio server before letting go.
    const qint64 afterSpeech = recorded() + 16000;
    waitFor([&] { return recorded() >= afterSpeech; }, 10000);

    *holdCpuSeconds = cpuSeconds(ferrule.processId()) - cpuAtPress;
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mouseup"), QStringLiteral("8")});
    const qint64 released = clock.elapsed();
    *holdSeconds = (released - pressed) / 1000.0;
    firstChangeAt = -1;

    // The program logs the text after typing it; the window's last change is the end.
    const QByteArray rule(61, '=');
    int textLine = -1;
    if (!waitFor(
            [&] {
                const int end = output.indexOf("Quillet Auto Transform end !", logFrom);
                const int firstRule = end < 0 ? -1 : output.indexOf(rule, end);
                const int secondRule =
                    firstRule < 0 ? -1 : output.indexOf(rule, firstRule + rule.size());
                textLine = firstRule + rule.size() + 1;
                return secondRule >= 0;
            },
            120000)) {
        std::fprintf(stderr, "no recognition result:\n%s\n", output.mid(logFrom).constData());
        return -1;
    }
    const QString recognized =
        QString::fromUtf8(output.mid(textLine, output.indexOf('\n', textLine) - textLine));
    const QRegularExpressionMatch phrases =
        QRegularExpression(QStringLiteral("(\\d+) phrases, (\\d+) of them while the button was "
                                          "held, with ([0-9.]+) s of processor time"))
            .match(QString::fromUtf8(output.mid(logFrom)));
    lastPhrases = phrases.hasMatch()
                      ? Phrases{phrases.captured(1).toInt(), phrases.captured(2).toInt(),
                                phrases.captured(3).toDouble()}
                      : Phrases();
    std::fprintf(stderr, "recognized: \"%s\"\n", recognized.toUtf8().constData());
    if (recognized.isEmpty())
        return (clock.elapsed() - released) / 1000.0;
    // Typed into the same field, a dictation after one that ended with a letter
    // gets a blank in front.
    const QString joined = before + QLatin1Char(' ') + recognized;
    if (!waitFor([&] { return text == before + recognized || text == joined; }, 30000)) {
        std::fprintf(stderr, "the window shows \"%s\"\n", text.toUtf8().constData());
        return -1;
    }
    std::printf("  %d characters: release to first character %.3f s, typing %.3f s\n",
                int(recognized.size()), (firstChangeAt - released) / 1000.0,
                (textChangedAt - firstChangeAt) / 1000.0);
    return (textChangedAt - released) / 1000.0;
}

void Bench::tearDown()
{
    if (qEnvironmentVariableIsSet("FERRULE_BENCH_LOG"))
        std::fprintf(stderr, "%s\n", output.constData());
    for (QProcess *process : {&ferrule, &target}) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Bench bench;
    if (!bench.setUp())
        return 0;
    const double rssStart = statusMb(bench.ferrulePid(), "VmRSS:");

    QTemporaryDir scratch;
    const QList<Utterance> utterances{
        {"warm-up", {testData + QStringLiteral("something.raw")}},
        {"1", {testData + QStringLiteral("cards/001.wav")}},
        {"3", {testData + QStringLiteral("goforward.raw")}},
        {"10",
         {testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0870.wav"),
          testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0880.wav")}},
        {"30",
         {testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0870.wav"),
          testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0880.wav"),
          testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0890.wav"),
          testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0920.wav"),
          testData + QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0930.wav"),
          testData + QStringLiteral("numbers.raw"), testData + QStringLiteral("cards/001.wav")}},
    };
    int n = 0;
    for (const Utterance &utterance : utterances) {
        QByteArray samples;
        for (const QString &part : utterance.parts)
            samples += samplesOf(part);
        const QString raw = scratch.filePath(QStringLiteral("utterance%1.raw").arg(n++));
        if (samples.isEmpty() || !writeFile(raw, samples)) {
            std::fprintf(stderr, "missing test recording %s\n",
                         qPrintable(utterance.parts.join(' ')));
            continue;
        }
        const double length = samples.size() / 32000.0;
        double hold = 0;
        double holdCpu = 0;
        const double seconds = bench.speak(raw, &hold, &holdCpu);
        if (seconds < 0) {
            std::printf("recognition of %.2f s failed\n", length);
            continue;
        }
        if (qstrcmp(utterance.label, "warm-up") == 0) {
            std::printf("first utterance (model loads): utterance_s=%.2f release_to_typed_s=%.3f\n",
                        length, seconds);
            continue;
        }
        const Phrases phrases = bench.phrases();
        std::printf("SUMMARY recognition utterance_s=%.2f release_to_typed_s=%.3f ratio=%.3f "
                    "hold_s=%.2f hold_cpu_s=%.2f phrases=%d held_phrases=%d "
                    "hold_decode_cpu_s=%.2f\n",
                    length, seconds, seconds / length, hold, holdCpu, phrases.count, phrases.held,
                    phrases.cpuSeconds);
        std::fflush(stdout);
    }

    // Idle again with the model loaded: let the last recognition settle first.
    QTest::qWait(1500);
    const double idle = statusMb(bench.ferrulePid(), "VmRSS:");
    const double peak = statusMb(bench.ferrulePid(), "VmHWM:");
    std::printf("memory at start (no model yet): rss_mb=%.1f\n", rssStart);
    std::printf("SUMMARY memory rss_idle_mb=%.1f rss_peak_mb=%.1f\n", idle, peak);
    bench.tearDown();
    return 0;
}
