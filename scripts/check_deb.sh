#!/bin/sh
# Builds the Debian package in a configured build folder, examines it, installs it, starts the
# installed program in a virtual X server, takes a screenshot and removes the package again.
#
#   scripts/check_deb.sh <build-dir>
#
# Run as root on Debian 12. Needs cpack, dpkg-deb, lintian, apt-get, xvfb-run, xdotool and
# ImageMagick (packages cmake, lintian, xvfb, xauth, xdotool, imagemagick). Leaves
# corvane-deb-screenshot.png, corvane-deb-run.log and lintian.log in the build folder.
# Exits non-zero when the package cannot be built, lintian reports an error, the package does not
# install, or the window does not appear.
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 <build-dir>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
caption="Corvane 2.5"
startup_timeout=${CORVANE_STARTUP_TIMEOUT:-90}

for tool in cpack dpkg-deb lintian apt-get xvfb-run xdotool import identify; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "check_deb.sh: $tool not found" >&2
        exit 2
    fi
done
if [ "$(id -u)" -ne 0 ]; then
    echo "check_deb.sh: installing the package needs root" >&2
    exit 2
fi

step() { echo; echo "== $*"; }

installed_by_us=0
scratch=$(mktemp -d)
cleanup() {
    status=$?
    if [ "$installed_by_us" -eq 1 ]; then
        step "apt-get remove -y corvane"
        apt-get -o DPkg::Lock::Timeout=600 remove -y corvane || status=1
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

step "cpack -G DEB in $build"
rm -f "$build"/corvane_*.deb
(cd "$build" && cpack -G DEB)
set -- "$build"/corvane_*_*.deb
if [ ! -f "$1" ] || [ $# -ne 1 ]; then
    echo "check_deb.sh: expected one corvane_<version>_<arch>.deb in $build" >&2
    exit 1
fi
deb=$1

step "dpkg-deb --info $(basename "$deb")"
dpkg-deb --info "$deb"
step "dpkg-deb --contents $(basename "$deb")"
dpkg-deb --contents "$deb"

# Warnings and notes are shown but only errors fail the check.
step "lintian $(basename "$deb")"
if lintian --fail-on error "$deb" >"$build/lintian.log" 2>&1; then
    lintian_status=0
else
    lintian_status=$?
fi
grep -v '^running with root privileges' "$build/lintian.log" || true
if [ "$lintian_status" -ne 0 ]; then
    echo "check_deb.sh: lintian reported errors (exit $lintian_status)" >&2
    exit 1
fi

step "apt-get install -y --no-install-recommends $deb"
if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q 'install ok installed'; then
    echo "check_deb.sh: corvane is already installed; it will be replaced and then removed" >&2
fi
# apt-get needs a path with a slash to take a local file; the absolute path has one. Recommended
# packages stay out so that the check changes the machine no more than it must.
installed_by_us=1
if ! apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$deb"; then
    echo "check_deb.sh: install failed; updating the package lists and trying once more" >&2
    apt-get -o DPkg::Lock::Timeout=600 update
    apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$deb"
fi
test -x /usr/bin/corvane

# The program runs with a home of its own so that it leaves nothing in the caller's.
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
shot="$build/corvane-deb-screenshot.png"
runlog="$build/corvane-deb-run.log"
rm -f "$shot"

cat >"$scratch/session.sh" <<'EOF'
#!/bin/sh
# Runs inside xvfb-run: start the program, wait for its window, photograph the screen, close it.
set -u
/usr/bin/corvane >"$RUNLOG" 2>&1 &
pid=$!
wid=$(timeout "$STARTUP_TIMEOUT" xdotool search --sync --onlyvisible --name "^$CAPTION_RE\$" | head -n 1)
if [ -z "$wid" ]; then
    echo "no window named \"$CAPTION\" within $STARTUP_TIMEOUT s" >&2
    kill "$pid" 2>/dev/null
    exit 1
fi
echo "window $wid: \"$(xdotool getwindowname "$wid")\""
# Give the panes and the browser view a moment to paint.
sleep 3
import -window root "$SHOT"

# Close it as a user would: File menu, Exit. With nothing edited there is nothing to confirm.
xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
xdotool key --clearmodifiers alt+f
sleep 1
xdotool key x
i=0
while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 15 ]; do
    sleep 1
    i=$((i + 1))
done
if kill -0 "$pid" 2>/dev/null; then
    echo "warning: the program was still running 15 s after File > Exit; sending SIGTERM" >&2
    kill "$pid"
    sleep 2
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
    wait "$pid" 2>/dev/null
    exit 0
fi
wait "$pid"
echo "program ended with exit status $?"
EOF

step "start /usr/bin/corvane under xvfb-run"
caption_re=$(printf '%s' "$caption" | sed 's/[.]/\\./g')
if env HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" \
    QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 \
    CAPTION="$caption" CAPTION_RE="$caption_re" \
    STARTUP_TIMEOUT="$startup_timeout" SHOT="$shot" RUNLOG="$runlog" \
    xvfb-run -a -s "-screen 0 1280x800x24" sh "$scratch/session.sh"; then
    session_status=0
else
    session_status=$?
fi
echo "program output (last lines of $runlog):"
tail -n 20 "$runlog" || true
if [ "$session_status" -ne 0 ]; then
    echo "check_deb.sh: the installed program did not show its window" >&2
    exit 1
fi

# A screen with the window on it has far more than a handful of colours; an empty one has one.
colours=$(identify -format '%k' "$shot")
echo "screenshot $shot: $(identify -format '%wx%h' "$shot"), $colours colours"
if [ "$colours" -lt 16 ]; then
    echo "check_deb.sh: the screenshot looks blank" >&2
    exit 1
fi

echo
echo "check_deb.sh: package built, examined, installed, started and closed"
