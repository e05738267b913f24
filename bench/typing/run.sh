#!/usr/bin/env bash
# Characters per second typed into an editor window of another process under
# Xvfb, by Ferrule and by `xdotool type` with its default delay, same corpus.
set -euo pipefail
"$FERRULE_TESTENV/with-xvfb" "$FERRULE_BENCH_BIN/typing/typingbench"
