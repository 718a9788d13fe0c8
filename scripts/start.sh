#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target scorivo scorivo-cli scorivo_data
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting under a virtual display (xvfb-run)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ./build/scorivo "$@"
fi
exec ./build/scorivo "$@"
