# Shared by the end-to-end scripts.

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
