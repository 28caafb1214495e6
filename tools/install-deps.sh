#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test Vorn Scheduler.
# Skips apt entirely when everything is already there, so repeated runs are quick.
set -euo pipefail

# Each package is here for something the scripts or the build use:
#   build:  compiler and make tools, CMake, Ninja, Qt (qt6-base-dev brings
#           the platform plugins, the OpenGL headers Qt's CMake files ask
#           for, D-Bus and Print Support), Qt SVG (toolbar pictures, icon),
#           Qt's HTTP and WebSocket servers (the plant view), Qt's own
#           translations (the buttons of message boxes and dialogs in
#           Chinese), xxHash (the fingerprints of records a tick compares)
#   tests:  shapelib (dbfcreate/dbfadd) and libshp-dev (store benchmark),
#           python3 with dbf/dbfread (tables written by other programs),
#           dbus-run-session and dbus-send (private session bus),
#           desktop-file-validate and appstreamcli (the installed entries),
#           systemd-analyze of systemd (the plant view's service unit),
#           pdfinfo of poppler-utils (pages of a printed PDF), ImageMagick's
#           convert (counts the pixels of one colour in a rendered chart), the
#           xcb headers (a window manager that frames late, played on xvfb)
#   fuzz:   clang and libclang-rt-14-dev (libFuzzer with the sanitizers)
#   pages:  chromium, chromium-driver and python3-selenium (the plant
#           view's pages in a real browser)
#   demo:   xvfb-run with xauth (runs without a display), fonts for the
#           Latin and Chinese texts of the window and the manual
packages=(
    build-essential cmake ninja-build
    clang libclang-rt-14-dev
    qt6-base-dev qt6-svg-dev qt6-httpserver-dev qt6-websockets-dev qt6-translations-l10n libxxhash-dev
    shapelib libshp-dev python3 python3-dbf python3-dbfread
    dbus-daemon dbus-bin
    desktop-file-utils appstream poppler-utils imagemagick systemd
    xvfb xauth libxcb1-dev
    fonts-noto-cjk fonts-dejavu-core
    chromium chromium-driver python3-selenium
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
