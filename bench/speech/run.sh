#!/usr/bin/env bash
# Speech model figures: one utterance through the speech SDK with the model kept
# loaded, and with the model loaded for every utterance; then the word error rate of the
# engine (phrases), of whole-utterance and of live decoding on the packaged recordings.
set -uo pipefail
bin=${FERRULE_BENCH_BIN:?}
QT_QPA_PLATFORM=offscreen "$bin/speech/bench_speechmodel"
# A 50 MB word list: where an utterance's time goes.
QT_QPA_PLATFORM=offscreen "$bin/speech/bench_userwords" 50
QT_QPA_PLATFORM=offscreen "$bin/speech/bench_accuracy"
"$bin/speech/bench_remote" -platform offscreen
