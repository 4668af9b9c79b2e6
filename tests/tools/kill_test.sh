#!/usr/bin/env bash
# A kill -9 at many moments of krv xm render and krv capture: the inputs stay as they were, and
# every output under its final name is complete (a WAV as long as its header says, PNG files
# that end in their IEND chunk).
# Usage: kill_test.sh PATH/TO/krv PATH/TO/kestrune-content
set -u
krv=$1
content=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SDL_VIDEODRIVER=offscreen
"$content" . >/dev/null || { echo "cannot write the show"; exit 1; }
inputs=$(sha256sum krv.dat test.xm)

# A WAV whose size is 44 bytes more than its data size field, and that field is as expected.
wav_complete() { # file, expected data bytes
    local field
    field=$(od -An -tu4 -j40 -N4 "$1" | tr -d ' ')
    [ "$field" = "$2" ] && [ "$(stat -c %s "$1")" = $(($2 + 44)) ]
}
png_complete() { [ "$(tail -c 8 "$1" | head -c 4)" = IEND ]; }

# Starts a command, kills it after the given seconds, waits for it.
kill_after() { # seconds, command...
    local delay=$1
    shift
    "$@" >/dev/null 2>&1 &
    local pid=$!
    sleep "$delay"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

failures=0
fail() { echo "$*"; failures=$((failures + 1)); }

for delay in 0.01 0.02 0.04 0.06 0.08 0.1 0.13 0.16 0.2 0.25 0.3 0.4 0.5; do
    rm -f out.wav
    kill_after "$delay" "$krv" xm render test.xm out.wav --seconds 40
    [ ! -e out.wav ] || wav_complete out.wav $((40 * 44100 * 4)) ||
        fail "xm render killed after $delay s left a partial out.wav"

    rm -rf cap
    kill_after "$delay" "$krv" capture --renderer direct3d --size 160x120 --fps 10 --from 12 \
        --seconds 2 --out cap
    for png in cap/frame_*.png; do
        [ -e "$png" ] || continue
        png_complete "$png" || fail "capture killed after $delay s left a partial $png"
    done
    [ ! -e cap/audio.wav ] || wav_complete cap/audio.wav $((2 * 44100 * 4)) ||
        fail "capture killed after $delay s left a partial audio.wav"

    [ "$(sha256sum krv.dat test.xm)" = "$inputs" ] || fail "an input changed (kill after $delay s)"
done
[ "$failures" -eq 0 ] && echo ok
