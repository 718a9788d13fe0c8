#!/usr/bin/env bash
# Installs what the benchmarks need when it is missing (Google Benchmark and
# OpenCV with its contrib modules, for the side-by-side comparison), builds a
# Release tree in build-bench/ and runs every benchmark: the stage benchmarks,
# then our stages beside OpenCV's with the ratio table at the end.
# Extra arguments go to both benchmark programs (e.g. --benchmark_filter=Tick).
set -euo pipefail
cd "$(dirname "$0")/.."

# Google Benchmark and OpenCV are in the project's one list of dependencies.
bash scripts/deps.sh

source scripts/ccache-launcher.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSCORIVO_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-bench -j"$(nproc)" --target scorivo_bench scorivo_bench_opencv

cd build-bench
./bench/scorivo_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
./bench/scorivo_bench_opencv --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
