#!/usr/bin/env bash
# The show as a person runs it, under Xvfb: the options window, clicks, "GO!!", Escape; and the
# whole timeline with no content at all, ending by itself; dragging the options window; a signal
# while it is up; OpenGL on an X server without GLX; and no display at all. Exit 77 (skipped)
# without Xvfb or xdotool.
# Usage: show_e2e.sh PATH/TO/kestrune {escape|timeline|drag|sigint|sigterm|noglx|nodisplay}
set -u
. "$(dirname "$0")/window_named.sh"
. "$(dirname "$0")/xvfb.sh"
kestrune=$1
case=$2

if [ "$case" = nodisplay ]; then
    # No display at all: one line and status 1 within a second, not an unseen window.
    err=$(mktemp)
    start=$(date +%s%N)
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout -s KILL 5 "$kestrune" 2>"$err"
    status=$?
    elapsed=$((($(date +%s%N) - start) / 1000000))
    message=$(grep '^kestrune:' "$err")
    rm -f "$err"
    [ "$status" -eq 1 ] || { echo "exit status $status"; exit 1; }
    [ "$message" = "kestrune: needs a display (X11 or Wayland), and none was found" ] ||
        { echo "message: $message"; exit 1; }
    [ "$elapsed" -lt 1000 ] || { echo "took $elapsed ms"; exit 1; }
    echo "ok: $case in $elapsed ms"
    exit 0
fi
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
# Waits for the show to end and checks its status and its standard error (empty, or the one line
# given); ends the test.
ended_with() {
    wait "$show"
    local status=$?
    show=""
    [ "$status" -eq "$1" ] || { echo "exit status $status"; cat "$work/err"; exit 1; }
    [ "$(cat "$work/err")" = "${2:-}" ] || { echo "error output:"; cat "$work/err"; exit 1; }
    echo "ok: $case"
    exit 0
}

xvfb_options=()
[ "$case" = noglx ] && xvfb_options=(-extension GLX) # an X server where OpenGL cannot run
start_xvfb "$work" "${xvfb_options[@]}"
if [ "$case" = escape ]; then
    export SDL_AUDIODRIVER=dummy # SDL's silent output stands in for a sound card
else
    export SDL_AUDIODRIVER=none # no sound device at all: the show runs silent
fi

cd "$work"
if [ "$case" = escape ]; then
    # One scene file: a first part long enough (100 s) to be running when Escape comes.
    printf 'LWSC\n1\n\nFirstFrame 0\nLastFrame 3000\nFrameStep 1\nPreviewFirstFrame 0\nPreviewLastFrame 3000\nPreviewFrameStep 1\n' >walk0.lws
fi
# Otherwise an empty folder: no content, every scene is empty and there is no music.
timeout -s KILL 50 "$kestrune" >"$work/out" 2>"$work/err" &
show=$!

options=$(window_named '^Kestrune 99$')
[ -n "$options" ] || { echo "the options window did not appear"; cat "$work/err"; exit 1; }
case $case in sigint | sigterm)
    # Ctrl+C or a kill while the options window is up: quietly, 128 + the signal's number.
    kill "-${case#sig}" "$show" # timeout hands it on to the show
    ended_with "$([ "$case" = sigint ] && echo 130 || echo 143)"
esac
eval "$(xdotool getwindowgeometry --shell "$options")"
[ "$WIDTH" = 335 ] && [ "$HEIGHT" = 235 ] || { echo "options window is ${WIDTH}x$HEIGHT"; exit 1; }
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.2; }
if [ "$case" = drag ]; then
    # The title bar dragged in uneven steps, two of them equal in a row: the window follows the
    # pointer to the sum of the steps.
    xdotool mousemove $((X + 52)) $((Y + 12)) mousedown 1
    sleep 0.2
    dx=0 dy=0
    for step in -10 -15 -7 -12 -10 -10; do
        xdotool mousemove_relative -- "$step" "$((step / 2))"
        dx=$((dx + step)) dy=$((dy + step / 2))
        sleep 0.2
    done
    xdotool mouseup 1
    sleep 0.3
    start_x=$X start_y=$Y
    eval "$(xdotool getwindowgeometry --shell "$options")"
    [ "$X,$Y" = "$((start_x + dx)),$((start_y + dy))" ] ||
        { echo "moved to $X,$Y from $start_x,$start_y instead of by $dx,$dy"; exit 1; }
    echo "ok: $case"
    exit 0
fi
click 192 165 # "Fullscreen (ogl only)" off: full screen cannot be tested under Xvfb
if [ "$case" = noglx ]; then
    click 278 215 # "GO!!" at 800x600: one line and status 1 within a second, and no crash
    for _ in $(seq 8); do kill -0 "$show" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$show" 2>/dev/null && { echo "the show went on without OpenGL"; exit 1; }
    ended_with 1 "kestrune: no OpenGL context could be made on this display"
fi
click 32 125  # "640x480"
click 278 215 # "GO!!"

output=$(window_named '^KRV99$')
[ -n "$output" ] || { echo "the output window did not appear"; cat "$work/err"; exit 1; }

if [ "$case" = escape ]; then
    sleep 8 # 200 loading frames of 33 ms, then into the timeline
    kill -0 "$show" 2>/dev/null || { echo "the show ended before Escape"; exit 1; }
    xdotool windowfocus --sync "$output" 2>/dev/null
    xdotool key --window "$output" alt+F4 # swallowed: the show goes on
    sleep 0.5
    kill -0 "$show" 2>/dev/null || { echo "Alt+F4 ended the show"; exit 1; }
    xdotool key --window "$output" Escape
fi

ended_with 0
