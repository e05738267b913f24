#!/usr/bin/env bash
# Characters per second typed into an editor window of another process under
# Xvfb, by Ferrule and by `xdotool type` with its default delay, same corpus;
# then the same with fcitx5 and with IBus composing Chinese in the window, and
# the time a short typing run takes more than where no input method runs; and
# text committed through fcitx5 with Ferrule's addon (from this build) on X11
# and on a headless KWin.
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
export FERRULE_FCITX5_ADDON=$FERRULE_BENCH_BIN/../addons/fcitx5
line=$("$env/with-xvfb" "$env/with-dbus" "$env/with-fcitx5" "$bin/fcitx5commitbench") ||
    echo "fcitx5commitbench on X11 failed" >&2
echo "$line"
xdotool_rate=$(echo "$line" | sed -n 's/.* xdotool_chars_per_s=\([0-9.]*\).*/\1/p')
FERRULE_XDOTOOL_CHARS_PER_S=$xdotool_rate "$env/with-dbus" "$env/with-kwin" "$bin/fcitx5commitbench" ||
    echo "fcitx5commitbench on Wayland failed" >&2
# The corpus committed whole through IBus's engine of Ferrule's own, into an
# X11 window and into a Wayland one (headless mutter).
"$env/with-xvfb" "$env/with-dbus" "$env/with-ibus" "$bin/ibuscommitbench" ||
    echo "ibuscommitbench with ibus on X11 failed" >&2
"$env/with-dbus" "$env/with-mutter" "$env/with-ibus" "$bin/ibuscommitbench" ||
    echo "ibuscommitbench with ibus on Wayland failed" >&2
