# window_named PATTERN [SECONDS]: prints the first X window whose name matches, looked for over
# SECONDS (10), or nothing. A search walks the window tree, and a window closing under it (the
# options window after GO!!) ends that search with an X error, so it is searched again.
window_named() {
    local found="" tries=$((${2:-10} * 5))
    for _ in $(seq "$tries"); do
        found=$(xdotool search --name "$1" 2>/dev/null | head -n1)
        [ -n "$found" ] && break
        sleep 0.2
    done
    echo "$found"
}
