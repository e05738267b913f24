// Types the typing corpus into an editor window of another process, once with
// Ferrule and once with `xdotool type` (default delay), and prints the speed of
// each and how many characters arrived wrong.
#include "actions/typing.h"
#include "typingmeasure.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString corpus = readCorpus(QStringLiteral(TYPING_CORPUS));
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "no corpus\n");
        return 1;
    }
    const int chars = corpus.toUcs4().size();

    TargetWindow target(QStringLiteral(TYPING_TARGET), QStringList());
    if (!target.isReady() || !target.focus()) {
        std::fprintf(stderr, "no target window\n");
        return 1;
    }

    const Typed ours = typeWithFerrule(target, corpus);
    const int wrong = wrongChars(ours.text, typableText(corpus));
    target.clear();
    const Typed theirs = typeWithXdotool(target, corpus);

    if (qEnvironmentVariableIsSet("FERRULE_BENCH_SHOW")) {
        std::printf("--- ferrule\n%s\n--- xdotool\n%s\n", ours.text.toUtf8().constData(),
                    theirs.text.toUtf8().constData());
    }
    std::printf("ferrule: %d characters, %d wrong\n", chars, wrong);
    std::printf("xdotool: %d characters, %d wrong\n", chars, wrongChars(theirs.text, corpus));
    std::printf(
        "SUMMARY typing chars_per_s=%.0f xdotool_chars_per_s=%.0f ratio=%.1f wrong_chars=%d\n",
        ours.perSecond, theirs.perSecond, ours.perSecond / std::max(theirs.perSecond, 0.001),
        wrong);
    return 0;
}
