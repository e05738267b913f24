#!/usr/bin/env bash
# The real program on a private Xvfb and PulseAudio, offline: button 8 held with
# xdotool while packaged speech plays into the microphone.
set -euo pipefail
env=$FERRULE_TESTENV
"$env/with-offline" "$env/with-xvfb" "$env/with-pulse" "$FERRULE_BENCH_BIN/recognition/bench_recognition"
