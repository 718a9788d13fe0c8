#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there. Any sanitizer report fails the test
# it came from, and so the run.
#   bash scripts/test-sanitize.sh [CTEST_OPTION...]
#   bash scripts/test-sanitize.sh --thread [CTEST_OPTION...]
# --thread builds under ThreadSanitizer instead, in build-tsan/: the capture
# thread, the virtual camera, the statistics worker, the prompt sounds and
# the workers of `read` and `mark` run beside the window's thread or beside
# each other, and any data race or lock-order inversion fails the test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

if [ "${1:-}" = --thread ]; then
    shift
    build=build-tsan
    sanitizer=(-DSCORIVO_SANITIZE_THREAD=ON)
    # Reports inside libraries not built with ThreadSanitizer only; see the file.
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
else
    build=build-asan
    sanitizer=(-DSCORIVO_SANITIZE=ON)
    # intercept_strndup=0: libxkbcommon-x11 (under the xcb platform of the
    # program's exit test) strndup()s a key name that has no NUL within its
    # buffer. strndup may do that, but strict_string_checks then reads the source
    # up to a NUL and reports an overflow. Our code has no strndup.
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:intercept_strndup=0"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    # Leaks inside third-party libraries only; see the file.
    export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
fi
# The whole-card corpora and the demo stack played through the frame loop are
# the slowest tests, and the sanitizers make them four to six times slower:
# fewer frames and cards, still every template, every card design and every
# stage, the 32-bit frames among them (every fourth frame). The printed-card
# corpus keeps its default run: only that run holds it to its figures.
export SCORIVO_CORPUS_FRAMES="${SCORIVO_CORPUS_FRAMES:-6}"
export SCORIVO_DESIGN_FRAMES="${SCORIVO_DESIGN_FRAMES:-4}"
export SCORIVO_DEMO_STACK_CARDS="${SCORIVO_DEMO_STACK_CARDS:-5}"

source scripts/ccache-launcher.sh
# -O1 and line tables only: half the compile time of -O2 -g or less, and the
# reports still name file and line.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    "${sanitizer[@]}" -DSCORIVO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
