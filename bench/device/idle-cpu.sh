#!/usr/bin/env bash
# Starts the program, lets it settle, then prints the share of one core it used
# over the given number of seconds: "idle_cpu_percent=N". Run it where the
# program can open its display (with-xvfb); the caller chooses the folders.
#   idle-cpu.sh program seconds
set -uo pipefail
program=$1
seconds=$2

"$program" >program.log 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT

# utime + stime in clock ticks; the name field may hold blanks, so count from its ")".
cpu_ticks() {
    local stat
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo $(( ${12} + ${13} ))
}

sleep 5 # start-up: config, windows, the first device passes, the update request
before=$(cpu_ticks) || { echo "idle_cpu_percent=NA (the program ended at start-up, see program.log)"; exit 1; }
start=$(date +%s.%N)
sleep "$seconds"
after=$(cpu_ticks) || { echo "idle_cpu_percent=NA (the program ended while measured)"; exit 1; }
end=$(date +%s.%N)
awk -v b="$before" -v a="$after" -v s="$start" -v e="$end" -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "idle_cpu_percent=%.3f\n", (a - b) / hz / (e - s) * 100 }'
