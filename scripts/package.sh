#!/usr/bin/env bash
# Builds the Debian package (CPack) into build-package/ and checks it with
# lintian and desktop-file-validate.
#
#   bash scripts/package.sh     then: sudo dpkg -i build-package/scorivo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
source scripts/ccache-launcher.sh
build=build-package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSCORIVO_BUILD_TESTS=OFF -DSCORIVO_BUILD_BENCH=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target scorivo scorivo-cli scorivo_icons scorivo_changelog
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls -t "$build"/scorivo_*.deb | head -n 1)"
desktop-file-validate packaging/scorivo.desktop
# Errors fail the build; warnings and notes are printed for reading.
lintian --fail-on error "$deb" || { echo "package.sh: lintian found errors in $deb" >&2; exit 1; }
echo "$deb"
