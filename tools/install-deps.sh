#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test Vorn Scheduler.
# Skips apt entirely when everything is already there, so repeated runs are quick.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6dbus6 libqt6svg6 qt6-svg-dev libgl-dev libqt6opengl6-dev
    libbenchmark-dev
    shapelib libshp-dev python3 python3-dbf python3-dbfread python3-dbus
    dbus dbus-x11 xvfb xauth x11-apps imagemagick
    fonts-noto-cjk fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
