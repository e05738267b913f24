// Text committed whole through the input method that scripts/testenv started
// (FERRULE_IME) into an editor window of another process: 200 characters of
// the mixed input-method corpus, each run timed from the typing call to the
// text shown in the window, against `xdotool type` on the same text in the
// same run.
#include "actions/typing.h"
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
    const QVector<uint> all = typableText(readCorpus(QStringLiteral(TYPING_CORPUS_IME))).toUcs4();
    const QString text = QString::fromUcs4(all.constData(), std::min<int>(kChars, all.size()));
    TargetWindow target(QStringLiteral(TYPING_TARGET), QStringList());
    if (text.isEmpty() || !target.isReady() || !target.focus()) {
        std::fprintf(stderr, "no corpus or no target window\n");
        return 1;
    }
    // The window's input context is made once it has the focus.
    QThread::msleep(500);
    const QString session = qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty()
                                ? QStringLiteral("x11")
                                : QStringLiteral("wayland");
    qint64 total = 0;
    int wrong = 0;
    for (int i = 0; i < kRuns; ++i) {
        target.clear();
        QElapsedTimer clock;
        clock.start();
        typeText(text.toUtf8().constData());
        qint64 done = 0;
        wrong += wrongChars(settle(target, text, clock, &done), text);
        total += done;
    }
    const double runMs = double(total) / kRuns;

    // xdotool's keys are composed by a Chinese input method: it types into a
    // window that does not use one.
    QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
    plain.insert(QStringLiteral("QT_IM_MODULE"), QStringLiteral("compose"));
    TargetWindow other(QStringLiteral(TYPING_TARGET), QStringList(), plain);
    if (!other.isReady() || !other.focus()) {
        std::fprintf(stderr, "no window for xdotool\n");
        return 1;
    }
    const Typed theirs = typeWithXdotool(other, text);
    const double perSecond = text.toUcs4().size() * 1000.0 / std::max(runMs, 0.001);
    std::printf("SUMMARY typing_commit ime=%s session=%s chars_per_s=%.0f wrong_chars=%d "
                "run_ms=%.1f xdotool_chars_per_s=%.0f xdotool_wrong_chars=%d ratio=%.1f\n",
                qPrintable(qEnvironmentVariable("FERRULE_IME")), qPrintable(session), perSecond,
                wrong, runMs, theirs.perSecond, wrongChars(theirs.text, text),
                perSecond / std::max(theirs.perSecond, 0.001));
    return 0;
}
