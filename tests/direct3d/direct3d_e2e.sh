#!/usr/bin/env bash
# The show with "Direct3D" as a person runs it, under Xvfb: the options window, "GO!!", the device
# dialog answered with Enter (the show then plays its timeline with no content and ends by itself,
# or ends at Escape) or with Escape (the show ends at once); all with status 0 and no "error.out".
# No window manager runs. Exit 77 (skipped) without Xvfb or xdotool.
# A kill while the dialog is up ends the show with 143.
# Usage: direct3d_e2e.sh PATH/TO/kestrune {choose|escape|cancel|sigterm}
set -u
. "$(dirname "$0")/../shell/window_named.sh"
. "$(dirname "$0")/../shell/xvfb.sh"
kestrune=$1
case=$2
for tool in Xvfb xdotool timeout; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb=""
show=""
cleanup() {
    [ -n "$show" ] && kill -KILL "$show" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
export SDL_AUDIODRIVER=none # no sound device: the show runs silent

cd "$work"
if [ "$case" = escape ]; then
    # One scene file: a first part long enough (100 s) to be running when Escape comes.
    printf 'LWSC\n1\n\nFirstFrame 0\nLastFrame 3000\nFrameStep 1\nPreviewFirstFrame 0\nPreviewLastFrame 3000\nPreviewFrameStep 1\n' >walk0.lws
fi
timeout -s KILL 50 "$kestrune" >"$work/out" 2>"$work/err" &
show=$!

options=$(window_named '^Kestrune 99$')
[ -n "$options" ] || { echo "the options window did not appear"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$options")"
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.2; }
click 192 65  # "Direct3D"
click 32 125  # "640x480"
click 278 215 # "GO!!"

dialog=$(window_named '^Choose your device$')
[ -n "$dialog" ] || { echo "the device dialog did not appear"; cat "$work/err"; exit 1; }
xdotool search --name '^KRV-99$' >/dev/null || { echo "no output window behind the dialog"; exit 1; }
xdotool windowfocus --sync "$dialog" 2>/dev/null
if [ "$case" = sigterm ]; then
    # A kill while the dialog (and the options window behind it) is up: 128 + 15, quietly.
    kill -TERM "$show" # timeout hands it on to the show
    wait "$show"
    status=$?
    show=""
    [ "$status" -eq 143 ] || { echo "exit status $status"; cat "$work/err"; exit 1; }
    [ -s "$work/err" ] && { echo "error output:"; cat "$work/err"; exit 1; }
    echo "ok: $case"
    exit 0
fi
if [ "$case" = cancel ]; then
    xdotool key --window "$dialog" Escape 2>/dev/null
else
    xdotool key --window "$dialog" Return 2>/dev/null # the dialog is gone before the key is up
fi
if [ "$case" = escape ]; then
    # With no window manager, the key goes where the focus is: the output window's, once the
    # dialog has closed. 200 loading frames of 33 ms first, then into the timeline.
    sleep 8
    kill -0 "$show" 2>/dev/null || { echo "the show ended before Escape"; exit 1; }
    xdotool key Escape
    for _ in $(seq 30); do kill -0 "$show" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$show" 2>/dev/null && { echo "Escape did not end the show"; exit 1; }
fi

wait "$show"
status=$?
show=""
if [ "$status" -ne 0 ]; then echo "exit status $status"; cat "$work/err"; exit 1; fi
if [ -e "$work/error.out" ]; then echo "error.out:"; cat "$work/error.out"; exit 1; fi
if [ -s "$work/err" ]; then echo "error output:"; cat "$work/err"; exit 1; fi
echo "ok: $case"
