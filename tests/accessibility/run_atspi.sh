#!/usr/bin/env bash
# Runs test_atspi.py against the program with a display and an accessibility bus of its own:
# a private Xvfb on a free display, a private session bus (dbus-run-session) and the AT-SPI
# bus launcher on it. Works without a desktop, as root in CI.
# Usage: run_atspi.sh KL516 KL516_CLI
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [[ -z "${KL516_ATSPI_SESSION:-}" ]]; then
    export KL516_ATSPI_SESSION=1
    exec dbus-run-session -- "$0" "$@"
fi

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# A free display of our own, away from :0 and the low numbers a desktop or another test uses.
display=""
for n in $(seq $((200 + $$ % 500)) $((260 + $$ % 500))); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 1 100); do
        [[ -S /tmp/.X11-unix/X$n ]] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if [[ -S /tmp/.X11-unix/X$n ]] && kill -0 "$xvfb" 2>/dev/null; then
        pids+=("$xvfb")
        display=$n
        break
    fi
    kill "$xvfb" 2>/dev/null || true
done
[[ -n "$display" ]] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$display"

launcher=/usr/libexec/at-spi-bus-launcher
[[ -x "$launcher" ]] || launcher=/usr/lib/at-spi2-core/at-spi-bus-launcher
"$launcher" --launch-immediately >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 120); do
    if dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1; then
        break
    fi
    sleep 0.5
done

# The program on the X display (the test suite's offscreen platform has no accessibility
# bridge), with its accessibility always on.
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_ACCESSIBILITY=1
# The program is ended by a signal when the test is done; leak reports are for the unit tests.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
/usr/bin/python3 "$here/test_atspi.py" "$@"
