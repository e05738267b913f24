// Text committed through fcitx5 with Ferrule's addon into an editor window of
// another process, on the session scripts/testenv started: X11 (Xvfb) or
// Wayland (headless KWin). run_ms is the mean time from the typing call to the
// text shown in the window, for a 200-character text; chars_per_s the rate of
// the whole corpus. On X11 `xdotool type` types the corpus too, for the ratio;
// on Wayland xdotool reaches no window, and FERRULE_XDOTOOL_CHARS_PER_S brings
// the rate the X11 run measured.
#include "actions/typabletext.h"
#include "common/fcitx5.h"
#include "typingmeasure.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kRuns = 20;
constexpr int kRunChars = 200;

// The editor reports its text after every change (--report); this waits for
// the report that shows expected, at most timeoutMs, and returns what it shows.
QString waitForReport(TargetWindow &target, const QString &expected, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    QString shown;
    while (shown != expected && waited.elapsed() < timeoutMs) {
        if (!target.process.canReadLine() && !target.process.waitForReadyRead(50))
            continue;
        while (target.process.canReadLine()) {
            const QByteArray line = target.process.readLine().trimmed();
            if (line.startsWith("text "))
                shown = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        }
    }
    return shown;
}

// Empties the editor; its report of the change comes before the "ok".
void clear(TargetWindow &target)
{
    target.process.write("clear\n");
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        if (!target.process.canReadLine() && !target.process.waitForReadyRead(50))
            continue;
        if (target.process.readLine().trimmed() == "ok")
            return;
    }
}

// Commits text and returns the milliseconds until the window shows it.
qint64 commitAndWait(TargetWindow &target, const QString &text, int *wrong)
{
    clear(target);
    const QString expected = typableText(text);
    QElapsedTimer clock;
    clock.start();
    typeText(text.toUtf8().constData());
    const QString shown = waitForReport(target, expected, 5000);
    const qint64 ms = clock.elapsed();
    *wrong += wrongChars(shown, expected);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QString corpus = readCorpus(QStringLiteral(TYPING_CORPUS));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (wayland)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    TargetWindow target(QStringLiteral(TYPING_TARGET), {QStringLiteral("--report")}, environment);
    if (corpus.isEmpty() || !target.isReady() || (!wayland && !target.focus())) {
        std::fprintf(stderr, "no corpus or no target window\n");
        return 1;
    }
    // Pinyin on in the window, as its user has it.
    QElapsedTimer waited;
    waited.start();
    while (fcitx5FocusedContext().isEmpty() && waited.elapsed() < 10000)
        QThread::msleep(20);
    fcitx5(QStringLiteral("Activate"));

    int wrong = 0;
    const QString line = typableText(corpus).left(kRunChars);
    qint64 total = 0;
    for (int i = 0; i < kRuns; ++i)
        total += commitAndWait(target, line, &wrong);
    const double runMs = double(total) / kRuns;
    const qint64 corpusMs = commitAndWait(target, corpus, &wrong);
    const double ours = perSecond(typableText(corpus), corpusMs);

    double xdotoolRate = qEnvironmentVariable("FERRULE_XDOTOOL_CHARS_PER_S").toDouble();
    if (!wayland) {
        // xdotool into a window where the input method composes nothing.
        TargetWindow english(QStringLiteral(TYPING_TARGET), QStringList(), withoutInputMethod());
        if (!english.isReady() || !english.focus()) {
            std::fprintf(stderr, "no window for xdotool\n");
            return 1;
        }
        xdotoolRate = typeWithXdotool(english, corpus).perSecond;
    }
    std::printf("SUMMARY typing_commit ime=fcitx5 session=%s chars_per_s=%.0f wrong_chars=%d "
                "run_ms=%.1f xdotool_chars_per_s=%.0f ratio=%.0f\n",
                wayland ? "wayland" : "x11", ours, wrong, runMs, xdotoolRate,
                ours / std::max(xdotoolRate, 0.001));
    return 0;
}
