// The time one utterance takes through the speech SDK (login to logout, as a
// recognition session runs it) with the English model kept loaded between
// utterances, and with the model loaded afresh for each one, on a packaged recording.

#include "speech/sdkfeeder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {
const char ENG[] =
    "sub = iat, domain = iat, language = en_us, sample_rate = 16000, result_type = plain, "
    "result_encoding = utf-8";

QByteArray loginFor(const QTemporaryDir &dir, int variant)
{
    // Any change of speech.ini makes the SDK start a new engine, which loads its model again.
    QFile file(dir.filePath(QStringLiteral("speech.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write("result_timeout = " + QByteArray::number(20 + variant % 2) + "\n");
    return "appid = 4d7c2a19, work_dir = " + dir.path().toUtf8();
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Wall-clock seconds of one utterance; *cpu gets the CPU seconds of all threads, which
// other load on the machine does not inflate.
double runSeconds(const QByteArray &audio, const QByteArray &login, QByteArray *text,
                  double *cpu = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = processCpuSeconds();
    const SdkRun run = recognizeThroughSdk(audio, ENG, 5, login.constData());
    *text = run.error == 0 ? run.text : QByteArray("error ") + QByteArray::number(run.error);
    if (cpu)
        *cpu = processCpuSeconds() - cpuStart;
    return timer.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    const QString path = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s (package pocketsphinx-testdata)\n", qPrintable(path));
        return 1;
    }
    const QByteArray audio = file.readAll();
    const int rounds = 5;
    QTemporaryDir dir;
    QByteArray text;

    const QByteArray kept = loginFor(dir, 0);
    runSeconds(audio, kept, &text); // loads the model
    double once = 0;
    double onceCpu = 0;
    for (int i = 0; i < rounds; ++i) {
        double cpu = 0;
        once += runSeconds(audio, kept, &text, &cpu) / rounds;
        onceCpu += cpu / rounds;
    }
    std::printf("resident memory with the English model loaded: %.0f MB\n", residentMegabytes());
    std::printf("model kept loaded: %.3f s per utterance (%.3f s CPU), heard \"%s\"\n", once,
                onceCpu, text.constData());

    double each = 0;
    double eachCpu = 0;
    for (int i = 1; i <= rounds; ++i) {
        double cpu = 0;
        each += runSeconds(audio, loginFor(dir, i), &text, &cpu) / rounds;
        eachCpu += cpu / rounds;
    }
    std::printf("model loaded per utterance: %.3f s per utterance (%.3f s CPU), heard \"%s\"\n",
                each, eachCpu, text.constData());

    std::printf("utterance of %.2f s (%s)\n", audio.size() / 32000.0, qPrintable(path));
    std::printf("SUMMARY recognition_model load_once_s=%.3f load_each_s=%.3f\n", once, each);
    return 0;
}
