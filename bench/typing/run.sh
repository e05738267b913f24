#!/usr/bin/env bash
# Characters per second typed into an editor window of another process under
# Xvfb, by Ferrule and by `xdotool type` with its default delay, same corpus;
# then the same with fcitx5 and with IBus composing Chinese in the window, and
# the time a short typing run takes more than where no input method runs.
set -euo pipefail
env=$FERRULE_TESTENV
bin=$FERRULE_BENCH_BIN/typing
"$env/with-xvfb" "$bin/typingbench"
line=$("$env/with-xvfb" "$env/with-dbus" "$bin/typingimebench" --baseline)
echo "$line"
baseline=$(echo "$line" | sed -n 's/^BASELINE run_ms=\([0-9.]*\).*/\1/p')
for ime in fcitx5 ibus; do
    FERRULE_TYPING_BASELINE_MS=$baseline \
        "$env/with-xvfb" "$env/with-dbus" "$env/with-$ime" "$bin/typingimebench" ||
        echo "typingimebench with $ime failed" >&2
done
# The corpus committed whole through IBus's engine of Ferrule's own, into an
# X11 window and into a Wayland one (headless mutter).
"$env/with-xvfb" "$env/with-dbus" "$env/with-ibus" "$bin/typingcommitbench" ||
    echo "typingcommitbench with ibus on X11 failed" >&2
"$env/with-dbus" "$env/with-mutter" "$env/with-ibus" "$bin/typingcommitbench" ||
    echo "typingcommitbench with ibus on Wayland failed" >&2
