# Shared by the end-to-end scripts.

# Without a display, runs the calling script again on an X display of its own: `own_display "$0" "$@"`.
own_display() {
    if [ -z "${DISPLAY:-}" ]; then
        exec xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$@"
    fi
}

# Runs one of the Python drivers beside this file in the real window, with a window manager.
run_driver() {
    local driver="$1"
    shift
    export QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1
    start_window_manager
    exec /usr/bin/python3 "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/$driver" "$@"
}

# Prints the id of the newest window whose title matches the pattern, waiting up to 30 seconds.
# A search can meet a window that goes away while it is read (the browser engine makes and drops
# some of its own); such a failed search is tried again.
wait_for_window() {
    local pattern="$1" found="" tries
    for tries in $(seq 600); do
        found=$(xdotool search --name "$pattern" 2>/dev/null | tail -n 1) || found=""
        if [ -n "$found" ]; then
            echo "$found"
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# Runs a command every 50 ms until it succeeds, for up to the given seconds.
wait_until() {
    local seconds="$1" tries
    shift
    for tries in $(seq $((seconds * 20))); do
        if "$@" 2> /dev/null; then return 0; fi
        sleep 0.05
    done
    return 1
}

# A window manager, as on a person's desktop: it gives the keyboard back to the window when a
# dialog closes. Ends with the X display.
start_window_manager() {
    if command -v openbox > /dev/null; then
        openbox > /dev/null 2>&1 &
        wait_until 10 window_manager_running || true
    fi
}

window_manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

# The colour of one pixel of a window, as ImageMagick names it in hex ("#00FF00").
pixel() {
    import -window "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2> /dev/null | tail -n 1 | grep -o '#[0-9A-F]\{6\}'
}
