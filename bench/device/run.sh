#!/usr/bin/env bash
# Device monitor figures: the cost of one monitor pass (this machine's USB
# devices, and a mock tree of 300 USB nodes under umockdev, unchanged and
# changed) and the idle CPU use of the whole program under Xvfb.
# FERRULE_IDLE_SECONDS shortens the idle measurement (default 60).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${FERRULE_BENCH_BIN:?}
testenv=${FERRULE_TESTENV:?}
seconds=${FERRULE_IDLE_SECONDS:-60}

passes=$(QT_QPA_PLATFORM=offscreen "$testenv/with-umockdev" "$bin/device/bench_device" 2>/dev/null)
echo "$passes"
field() { sed -n "s/^$1 .*[ ]$2=\([^ ]*\).*/\1/p" <<<"$passes"; }
own=$(field device_pass_own pass_us)
mock=$(field device_pass unchanged_us)
full=$(field device_pass full_300_ms)
# The slower of the two unchanged passes.
unchanged=$(awk -v a="${own:-0}" -v b="${mock:-0}" 'BEGIN { print (a > b ? a : b) }')

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
mkdir -p "$run/home" "$run/config" "$run/runtime"
chmod 700 "$run/runtime"
idle=$(cd "$run" && HOME=$run/home XDG_CONFIG_HOME=$run/config XDG_RUNTIME_DIR=$run/runtime \
    "$testenv/with-xvfb" bash "$here/idle-cpu.sh" "$bin/../ferrule" "$seconds")
echo "idle over ${seconds} s: $idle"
[ -s "$run/program.log" ] && { echo "program log (last lines):"; tail -5 "$run/program.log"; }
idle=${idle#idle_cpu_percent=}
idle=${idle%% *}

echo "SUMMARY device pass_unchanged_us=${unchanged:-NA} pass_full_300_ms=${full:-NA} idle_cpu_percent=${idle:-NA}"
