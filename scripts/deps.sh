#!/usr/bin/env bash
# Installs the Debian 12 packages Scorivo needs to build, run and test.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed only when something is missing.
set -euo pipefail

PACKAGES=(
    # toolchain
    build-essential cmake pkg-config
    # GUI (Qt 6 Widgets, PDF and PNG card rendering through QPainter)
    qt6-base-dev libgl-dev
    # drawing the icon's PNG sizes from its SVG
    qt6-svg-dev
    # prompt sounds (ALSA playback of the wave files)
    libasound2-dev
    # MJPG camera samples and card pictures
    libjpeg62-turbo-dev
    # spoken prompts, with the Mandarin voice data
    libespeak-ng-dev espeak-ng-data espeak-ng
    # score output as a real .xlsx
    libxlsxwriter-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    # a CJK font for the Chinese interface and printed cards
    fonts-noto-cjk
    # reading written workbooks back in the tests
    unzip
    # the printed-card corpus: rasterising 答题卡.pdf and photographing it
    poppler-utils libopencv-dev
    # opening files and folders with the desktop's programs
    xdg-utils
    # a virtual display for starting the window without a desktop, and
    # typing into it (the test of the program's own ends)
    xvfb xauth xdotool
    # checking the package, its menu entry and its file type
    lintian desktop-file-utils shared-mime-info
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
