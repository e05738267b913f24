#!/usr/bin/env bash
# Settings saves and WAV conversion: no service needed.
set -euo pipefail
"$FERRULE_BENCH_BIN/foundation/bench_foundation" 2>/dev/null
