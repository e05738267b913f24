// Typing with a Chinese input method composing in the window typed into (the
// one scripts/testenv started, named by FERRULE_IME): the corpus typed by
// Ferrule and by `xdotool type`, and the time one short typing run takes.
// With --baseline it prints only that time, measured where no input method
// runs; otherwise FERRULE_TYPING_BASELINE_MS holds it and the difference is
// the input method's overhead per run.
#include "actions/typing.h"
#include "typingmeasure.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kRuns = 20;
const char *const kLine = "打开word，新建一个Excel表格。Hello, 世界!";

bool isFcitx5()
{
    return qgetenv("FERRULE_IME") == "fcitx5";
}

// fcitx5's state of the focused window: 0 none, 1 English, 2 Chinese.
int fcitx5State()
{
    const QString reply =
        runTool(QStringLiteral("gdbus"),
                {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                 QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("--object-path"),
                 QStringLiteral("/controller"), QStringLiteral("--method"),
                 QStringLiteral("org.fcitx.Fcitx.Controller1.State")});
    return reply.mid(1).section(QLatin1Char(','), 0, 0).toInt(); // "(2,)"
}

bool waitFor(int state)
{
    QElapsedTimer waited;
    waited.start();
    while (fcitx5State() != state && waited.elapsed() < 15000)
        QThread::msleep(20);
    return fcitx5State() == state;
}

// The focused window's input method in its Chinese state, or its English one.
bool chooseState(bool chinese)
{
    if (isFcitx5()) {
        if (!waitFor(1))
            return false;
        if (chinese)
            xdotool({QStringLiteral("key"), QStringLiteral("ctrl+space")});
        return waitFor(chinese ? 2 : 1);
    }
    // libpinyin starts Chinese; Shift switches it, in every window.
    return chinese || xdotool({QStringLiteral("key"), QStringLiteral("Shift_L")});
}

// Mean milliseconds of one typeText run of a short line, and how many of its
// characters arrived wrong over all runs.
double meanRunMs(TargetWindow &target, int *wrong)
{
    const QString line = QString::fromUtf8(kLine);
    qint64 total = 0;
    *wrong = 0;
    for (int i = 0; i < kRuns; ++i) {
        target.clear();
        QElapsedTimer clock;
        clock.start();
        typeText(kLine);
        total += clock.elapsed();
        qint64 done = 0;
        *wrong += wrongChars(settle(target, line, clock, &done), line);
    }
    return double(total) / kRuns;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString corpus = readCorpus(QStringLiteral(TYPING_CORPUS));
    TargetWindow target(QStringLiteral(TYPING_TARGET), QStringList());
    if (corpus.isEmpty() || !target.isReady() || !target.focus()) {
        std::fprintf(stderr, "no corpus or no target window\n");
        return 1;
    }
    int wrongInRuns = 0;
    if (app.arguments().contains(QStringLiteral("--baseline"))) {
        const double ms = meanRunMs(target, &wrongInRuns);
        std::printf("BASELINE run_ms=%.1f wrong_chars=%d\n", ms, wrongInRuns);
        return 0;
    }
    const QString ime = QString::fromLatin1(qgetenv("FERRULE_IME"));
    if (!chooseState(true)) {
        std::fprintf(stderr, "the input method did not switch to Chinese\n");
        return 1;
    }
    const double runMs = meanRunMs(target, &wrongInRuns);

    target.clear();
    const Typed ours = typeWithFerrule(target, corpus);
    const int wrong = wrongChars(ours.text, typableText(corpus)) + wrongInRuns;

    // xdotool types into a window in the English state: in the Chinese one
    // the input method would compose its keys.
    TargetWindow english(QStringLiteral(TYPING_TARGET), QStringList());
    if (!english.isReady() || !english.focus() || !chooseState(false)) {
        std::fprintf(stderr, "no window in the English state\n");
        return 1;
    }
    const Typed theirs = typeWithXdotool(english, corpus);

    const double baseline = qEnvironmentVariable("FERRULE_TYPING_BASELINE_MS").toDouble();
    std::printf("%s: run of %d characters %.1f ms (%.1f ms without), corpus %d wrong; "
                "xdotool %d wrong\n",
                qPrintable(ime), QString::fromUtf8(kLine).toUcs4().size(), runMs, baseline, wrong,
                wrongChars(theirs.text, corpus));
    std::printf("SUMMARY typing_ime ime=%s chars_per_s=%.0f wrong_chars=%d overhead_ms=%.1f "
                "xdotool_chars_per_s=%.0f ratio=%.1f\n",
                qPrintable(ime), ours.perSecond, wrong, runMs - baseline, theirs.perSecond,
                ours.perSecond / std::max(theirs.perSecond, 0.001));
    return 0;
}
