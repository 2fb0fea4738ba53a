#!/usr/bin/env bash
# Installs the Debian 12 packages Corvane needs to build, run and test, skipping those already
# installed, so a second run costs a second.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev
    libuchardet-dev libpcre2-dev
    fonts-noto-cjk
    xvfb xauth xdotool x11-utils openbox wmctrl imagemagick poppler-utils libjs-jquery xclip python3-xlib
    at-spi2-core python3-pyatspi dbus dbus-x11
    clang-14 libclang-rt-14-dev valgrind
    desktop-file-utils appstream lintian
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
else
    sudo=""
fi
echo "Installing: ${missing[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
