// Text committed whole through IBus (scripts/testenv/with-ibus) into an
// editor window of another process, on X11 (with-xvfb) or on Wayland
// (with-mutter): 200 characters of the mixed input-method corpus, each run
// timed from the commit call to the text shown in the window; on X11 against
// `xdotool type` on the same text in the same run.
#include "platform/linux/ibuscommit.h"
#include "typingmeasure.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kRuns = 10;
constexpr int kChars = 200;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    IBusCommit commit;
    const QVector<uint> all = typableText(readCorpus(QStringLiteral(TYPING_CORPUS_IME))).toUcs4();
    const QString text = QString::fromUcs4(all.constData(), std::min<int>(kChars, all.size()));
    TargetWindow target(QStringLiteral(TYPING_TARGET), QStringList());
    const bool x11 = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // mutter gives a new window the focus itself.
    if (text.isEmpty() || !target.isReady() || (x11 && !target.focus())) {
        std::fprintf(stderr, "no corpus or no target window\n");
        return 1;
    }
    // The window's input context is made once it has the focus.
    QThread::msleep(1000);
    if (!commit.isAvailable()) {
        std::fprintf(stderr, "no IBus engine\n");
        return 1;
    }
    const QString session = x11 ? QStringLiteral("x11") : QStringLiteral("wayland");
    qint64 total = 0;
    int wrong = 0;
    for (int i = 0; i < kRuns; ++i) {
        target.clear();
        QElapsedTimer clock;
        clock.start();
        if (commit.commit(text) != ImeCommit::Outcome::Committed)
            std::fprintf(stderr, "not committed\n");
        qint64 done = 0;
        wrong += wrongChars(settle(target, text, clock, &done), text);
        total += done;
    }
    const double runMs = double(total) / kRuns;

    const double perSecond = text.toUcs4().size() * 1000.0 / std::max(runMs, 0.001);
    const QByteArray figures = QStringLiteral("typing_commit ime=%1 session=%2 chars_per_s=%3 "
                                              "wrong_chars=%4 run_ms=%5")
                                   .arg(qEnvironmentVariable("FERRULE_IME"), session)
                                   .arg(perSecond, 0, 'f', 0)
                                   .arg(wrong)
                                   .arg(runMs, 0, 'f', 1)
                                   .toUtf8();
    if (session != QLatin1String("x11")) {
        std::printf("SUMMARY %s\n", figures.constData());
        return 0;
    }
    // xdotool's keys would be composed by the input method: it types into a
    // window that does not use one.
    TargetWindow other(QStringLiteral(TYPING_TARGET), QStringList(), withoutInputMethod());
    if (!other.isReady() || !other.focus()) {
        std::fprintf(stderr, "no window for xdotool\n");
        return 1;
    }
    const Typed theirs = typeWithXdotool(other, text);
    std::printf("SUMMARY %s xdotool_chars_per_s=%.0f xdotool_wrong_chars=%d ratio=%.1f\n",
                figures.constData(), theirs.perSecond, wrongChars(theirs.text, text),
                perSecond / std::max(theirs.perSecond, 0.001));
    return 0;
}
