# start_xvfb WORK [OPTION...]: starts a private Xvfb with the options, sets xvfb to its process and
# exports DISPLAY once a client can connect to it; ends the test when it does not start.
start_xvfb() {
    local work=$1
    shift
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
    export DISPLAY=":$(head -n1 "$work/display")"
    # The server has named its display; it is used once a client can connect to it.
    for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
}
