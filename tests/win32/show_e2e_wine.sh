#!/usr/bin/env bash
# kestrune.exe as a person runs it under Wine and Xvfb: the options window appears with its size
# and title, "Fullscreen" off, "640x480", "GO!!" with "OpengGL" opens the output window, Alt+F4
# is swallowed and Escape ends the show with status 0; "BYE" ends it with status 0 at once.
# The options window's pixels are checked against its colour table in Xvfb's frame buffer.
# "GO!!" with "Direct3D" shows the device dialog: "OK" plays the show through DirectX 6 (pixels
# drawn) until Escape, "Cancel" ends with status 0.
# "music" records the sound server's null sink while the show plays and compares its loudness
# envelope with `krv xm render` of the same module.
# Usage: show_e2e_wine.sh PATH/TO/kestrune.exe SHOW_FOLDER {escape|bye|direct3d|cancel|music}
# Expects WINEPREFIX, WINESERVER, DISPLAY, KESTRUNE_SCREEN (Xvfb's -fbdir screen file),
# KESTRUNE_KRV (krv.exe) and, for "music", a sound server from scripts/test-windows.
set -u
. "$(dirname "$0")/../shell/window_named.sh"
exe=$1
folder=$2
case=$3
wine=/usr/lib/wine/wine64

work=$(mktemp -d)
show=""
cleanup() {
    [ -n "$show" ] && kill -KILL "$show" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cp "$folder"/krv.dat "$folder"/test.xm "$work"/ 2>/dev/null
cp "$exe" "$work"/kestrune.exe
cd "$work"

timeout -s KILL 90 "$wine" kestrune.exe >"$work/out" 2>"$work/err" &
show=$!

options=$(window_named '^Kestrune 99$' 30)
[ -n "$options" ] || { echo "the options window did not appear"; cat "$work/err"; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$options")"
[ "$WIDTH" = 335 ] && [ "$HEIGHT" = 235 ] || { echo "options window is ${WIDTH}x$HEIGHT"; exit 1; }
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.3; }

# The covering frame's light and dark edges, its fill, the face of "GO!!", a toggle's background.
pixels=$(python3 "$(dirname "$0")/screen_pixels.py" "$KESTRUNE_SCREEN" "$X,$Y" \
    "$((X + 334)),$((Y + 100))" "$((X + 1)),$((Y + 100))" "$((X + 253)),$((Y + 215))" \
    "$((X + 2 + 165 + 5 + 140)),$((Y + 25 + 85 + 5 + 8))" | tr '\n' ',')
expected="200 200 200,70 70 70,140 140 140,150 150 160,100 100 100,"
[ "$pixels" = "$expected" ] || { echo "options window at $X,$Y pixels: $pixels expected $expected"; exit 1; }

if [ "$case" = bye ]; then
    click 45 215 # "BYE"
elif [ "$case" = direct3d ] || [ "$case" = cancel ]; then
    click 192 65  # "Direct3D"
    click 32 125  # "640x480"
    click 278 215 # "GO!!"
    dialog=$(window_named '^Choose your device$' 30)
    [ -n "$dialog" ] || { echo "the device dialog did not appear"; cat "$work/err"; exit 1; }
    xdotool windowfocus --sync "$dialog" 2>/dev/null
    if [ "$case" = cancel ]; then
        xdotool key --window "$dialog" Escape 2>/dev/null
    else
        xdotool key --window "$dialog" Return 2>/dev/null # "OK": the first device
        sleep 10
        kill -0 "$show" 2>/dev/null || { echo "the show ended before Escape"; cat "$work/err"; exit 1; }
        # The frame DirectX 6 presented: the show's pictures in the 640 x 480 view.
        lit=$(python3 "$(dirname "$0")/screen_pixels.py" "$KESTRUNE_SCREEN" --lit 0,0,640,480)
        [ "$lit" -gt 2000 ] || { echo "only $lit pixels drawn"; exit 1; }
        output=$(xdotool search --name '^KRV-99$' | head -n1)
        xdotool windowfocus --sync "$output" 2>/dev/null
        xdotool key --window "$output" Escape
    fi
elif [ "$case" = music ]; then
    # The music through waveOut into the sound server's null sink, recorded from its monitor.
    parec -d null.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/heard.raw" &
    recorder=$!
    click 192 165 # "Fullscreen (ogl only)" off
    click 278 215 # "GO!!"
    output=$(window_named '^KRV99$' 30)
    sleep 25 # the loading (about 15 s under Wine), then about ten seconds of music
    xdotool windowfocus --sync "$output" 2>/dev/null
    xdotool key --window "$output" Escape
    wait "$show"
    status=$?
    show=""
    kill "$recorder"
    wait "$recorder" 2>/dev/null
    [ "$status" -eq 0 ] || { echo "exit status $status"; cat "$work/err"; exit 1; }
    # The same module as the tool renders it through the same output device code.
    "$wine" "$KESTRUNE_KRV" xm render test.xm expected.wav --seconds 30 >/dev/null 2>&1 ||
        { echo "krv xm render failed"; exit 1; }
    python3 "$(dirname "$0")/loudness_match.py" "$work/heard.raw" "$work/expected.wav" || exit 1
    echo "ok: $case"
    exit 0
else
    click 192 165 # "Fullscreen (ogl only)" off: full screen cannot be tested under Xvfb
    click 32 125  # "640x480"
    click 278 215 # "GO!!"
    output=$(window_named '^KRV99$' 30)
    [ -n "$output" ] || { echo "the output window did not appear"; cat "$work/err"; exit 1; }
    sleep 10 # the loading scene, the content's loading, into the timeline
    kill -0 "$show" 2>/dev/null || { echo "the show ended before Escape"; exit 1; }
    xdotool windowfocus --sync "$output" 2>/dev/null
    xdotool key --window "$output" alt+F4 # swallowed: the show goes on
    sleep 1
    kill -0 "$show" 2>/dev/null || { echo "Alt+F4 ended the show"; exit 1; }
    xdotool key --window "$output" Escape
fi

wait "$show"
status=$?
show=""
if [ "$status" -ne 0 ]; then echo "exit status $status"; cat "$work/err"; exit 1; fi
if [ -e "$work/error.out" ]; then echo "error.out:"; cat "$work/error.out"; exit 1; fi
echo "ok: $case"
