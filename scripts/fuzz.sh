#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs one of them
# on its corpus (build-fuzz/corpus/NAME, grown by the run, started from the
# seeds in build-fuzz/seeds/NAME). Findings go to build-fuzz/findings/.
#   bash scripts/fuzz.sh                      builds and lists the targets
#   bash scripts/fuzz.sh NAME [OPTION...]     runs NAME_fuzz, e.g.
#   bash scripts/fuzz.sh template -runs=10000000
#   bash scripts/fuzz.sh marking -max_total_time=600
# Options are libFuzzer's (-runs, -max_total_time, -jobs, ...).
# The targets run under AddressSanitizer and UBSan; FUZZ_ADDRESS=0 builds and
# runs them under UBSan alone, in build-fuzz-ub/, on the same corpus (several
# times faster for the picture targets, but blind to memory errors that do
# not crash).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
address=ON
if [ "${FUZZ_ADDRESS:-1}" = 0 ]; then
    build=build-fuzz-ub
    address=OFF
fi
NAMES=(template student basedat settings rawfile yuy2 i420 mjpg uncompressed jpeg_picture other_picture marking)

command -v clang++ >/dev/null || { echo "clang is needed: apt-get install clang libclang-rt-dev" >&2; exit 1; }
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCORIVO_FUZZ=ON \
    -DSCORIVO_FUZZ_ADDRESS="$address" -DSCORIVO_BUILD_TESTS=OFF -DSCORIVO_BUILD_BENCH=OFF >/dev/null
targets=(fuzz_seeds)
for n in "${NAMES[@]}"; do targets+=("${n}_fuzz"); done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
# Written again when the seed writer was rebuilt, so that seeds it gained
# (a CMYK or an Exif JPEG) are not missed by a corpus made before them.
if [ ! -d build-fuzz/seeds ] || [ "$build/fuzz/fuzz_seeds" -nt build-fuzz/seeds ]; then
    mkdir -p build-fuzz
    rm -rf "build-fuzz/seeds.tmp.$$"
    QT_QPA_PLATFORM=offscreen "$build"/fuzz/fuzz_seeds data "build-fuzz/seeds.tmp.$$"
    rm -rf build-fuzz/seeds
    mv "build-fuzz/seeds.tmp.$$" build-fuzz/seeds
fi

if (($# == 0)); then
    echo "targets: ${NAMES[*]}"
    exit 0
fi
name=$1
shift
mkdir -p "build-fuzz/corpus/$name" build-fuzz/findings
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
export QT_QPA_PLATFORM=offscreen
# The file readers' entries write their input to a scratch file on every run;
# on a disk, the page cache's writeback and the settings' fsync make that a
# hundred times slower than the reading itself.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR="/dev/shm/scorivo-fuzz-$name"
fi
# The entries' scratch files need the folder; a missing one would read as a
# crash of the first input.
[ -z "${TMPDIR:-}" ] || mkdir -p "$TMPDIR"
exec "$build/fuzz/${name}_fuzz" -artifact_prefix="build-fuzz/findings/${name}-" -print_final_stats=1 "$@" \
    "build-fuzz/corpus/$name" "build-fuzz/seeds/$name"
