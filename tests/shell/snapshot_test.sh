#!/usr/bin/env bash
# krv snapshot writes PNG pictures of the right size, headless; bad arguments are usage errors.
# Usage: snapshot_test.sh PATH/TO/krv
set -u
krv=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SDL_VIDEODRIVER=offscreen

# Width and height from a PNG's header chunk, as "W H".
size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }
check() { # file, expected "W H"
    [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = '211PNG' ] || { echo "$1 is not a PNG"; exit 1; }
    [ "$(size "$1")" = "$2" ] || { echo "$1 is $(size "$1"), not $2"; exit 1; }
}

timeout -s KILL 30 "$krv" snapshot options options.png || { echo "options failed"; exit 1; }
check options.png "335 235"

printf 'LWSC\n1\n\nPreviewFirstFrame 0\nPreviewLastFrame 10\n' >empty.lws
timeout -s KILL 30 "$krv" snapshot scene empty.lws 3 scene.png --size 64x48 || { echo "scene failed"; exit 1; }
check scene.png "64 48"

timeout -s KILL 30 "$krv" snapshot scene missing.lws 0 x.png 2>err.txt
[ $? -eq 1 ] && grep -q "scene 'missing.lws' not found" err.txt || { echo "missing scene: $(cat err.txt)"; exit 1; }
timeout -s KILL 30 "$krv" snapshot scene empty.lws nine x.png 2>/dev/null
[ $? -eq 2 ] || { echo "a bad frame is not a usage error"; exit 1; }
echo ok
