#!/usr/bin/env bash
# The shipped program itself, on a virtual X display, as an operator starts
# it: the login window opens, Esc cancels the login and the program ends;
# with a Config.ini it cannot use (a NUL byte in it) it still starts, and
# leaves the file as it found it.
# Usage: test_program.sh PATH/TO/orvex-station
set -euo pipefail
station=$1
if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb
# The X libraries keep what they allocate until the end: not the program's.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program reads Config.ini beside itself.
cp "$station" "$work/orvex-station"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts the program, cancels its login with Esc and expects it to end.
start_and_cancel() {
    "$work/orvex-station" >"$work/out.log" 2>&1 &
    local pid=$!
    local window=
    for _ in $(seq 1 300); do
        window=$(xdotool search --all --pid "$pid" --name "Аутентификация пользователя" 2>/dev/null | head -n1 || true)
        [[ -n $window ]] && break
        kill -0 "$pid" 2>/dev/null || { cat "$work/out.log" >&2; fail "$1: the program ended before its login window"; }
        sleep 0.1
    done
    [[ -n $window ]] || { kill "$pid"; fail "$1: no login window in 30 s"; }
    # Esc to the login window, as it is now (the window may be made anew
    # while it opens), until the program has ended: at most 10 s.
    for _ in $(seq 1 50); do
        window=$(xdotool search --all --pid "$pid" --name "Аутентификация пользователя" 2>/dev/null | tail -n1 || true)
        [[ -n $window ]] && xdotool key --window "$window" Escape 2>/dev/null || true
        sleep 0.2
        kill -0 "$pid" 2>/dev/null || break
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        fail "$1: still running 10 s after Esc in the login window"
    fi
    local status=0
    wait "$pid" || status=$?
    [[ $status -eq 0 ]] || { cat "$work/out.log" >&2; fail "$1: ended with status $status"; }
    echo "ok: $1"
}

start_and_cancel "no Config.ini"
[[ ! -e $work/Config.ini ]] || fail "a cancelled login wrote Config.ini"

printf '[Connections]\nServer_address=10.0.0.1\n\0garbage\n[Users\nCount=seven\n' >"$work/Config.ini"
cp "$work/Config.ini" "$work/Config.before"
start_and_cancel "a Config.ini with a NUL byte"
cmp -s "$work/Config.ini" "$work/Config.before" || fail "the unusable Config.ini was changed"
