#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there. Any sanitizer report fails the test
# it came from, and so the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# The whole-card corpus and the demo stack played through the frame loop are
# the slowest tests, and the sanitizers make them about ten times slower:
# fewer frames and cards, still every template and every stage.
export SCORIVO_CORPUS_FRAMES="${SCORIVO_CORPUS_FRAMES:-6}"
export SCORIVO_DEMO_STACK_CARDS="${SCORIVO_DEMO_STACK_CARDS:-5}"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCORIVO_SANITIZE=ON -DSCORIVO_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
