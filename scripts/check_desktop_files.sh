#!/bin/sh
# Checks the desktop entry, the AppStream metadata and the hicolor icons that the package installs.
# Needs desktop-file-validate (Debian package desktop-file-utils) and appstreamcli (appstream).
# Exits non-zero when any check fails.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
app_id=io.github.corvane.Corvane
desktop="$root/packaging/$app_id.desktop"
metainfo="$root/packaging/$app_id.metainfo.xml"
failed=0

fail() {
    echo "FAIL: $*" >&2
    failed=1
}

for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
        echo "check_desktop_files.sh: ${tool%%:*} not found (apt-get install ${tool#*:})" >&2
        exit 2
    fi
done

echo "== desktop-file-validate $desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"

echo "== appstreamcli validate --no-net $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"

# The metainfo must point at this very desktop entry, and the entry at the installed icon name.
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
    || fail "$metainfo does not name $app_id.desktop as its launchable"
grep -q "<id>$app_id</id>" "$metainfo" || fail "$metainfo does not have the id $app_id"
grep -qx 'Icon=corvane' "$desktop" || fail "$desktop does not use the icon name corvane"

# Each hicolor PNG must be as large as the folder it is installed into says.
png_size() {
    # width and height are big-endian 32-bit numbers at byte 16 of a PNG
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
for size in 16 32 48 256; do
    png="$root/resources/icons/hicolor/$size/corvane.png"
    if [ ! -f "$png" ]; then
        fail "$png is missing (scripts/render_icons.sh makes it)"
        continue
    fi
    actual=$(png_size "$png")
    [ "$actual" = "${size}x${size}" ] || fail "$png is $actual, not ${size}x${size}"
done
[ -f "$root/resources/icons/corvane.svg" ] || fail "resources/icons/corvane.svg is missing"

if [ "$failed" -ne 0 ]; then
    echo "check_desktop_files.sh: FAILED" >&2
    exit 1
fi
echo "check_desktop_files.sh: all checks passed"
