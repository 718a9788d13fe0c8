#!/usr/bin/env bash
# Batch speed of scorivo-cli: `mark` and `read` over the same card pictures on
# one worker and on two, in cards per second, and the ratio.
#
#   bash scripts/bench-batch.sh [BUILD_DIR] [PICTURES] [KEEP_DIR]   (defaults: build, 1000, none)
#
# The pictures (a standard answer, then the 40 students of the shipped roster
# over and over, placed, turned and lit differently, JPEG as a camera gives
# them) are made once with `scorivo-cli synth` into a temporary folder, which
# is removed at the end; with KEEP_DIR they are made there, kept, and reused
# by the next run with the same count. Build with -DCMAKE_BUILD_TYPE=Release first. The
# machine should be otherwise idle: the load average is printed before and after.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
count="${2:-1000}"
cli="$build/scorivo-cli"
template="DY标准85题自动AB卷.dat"
roster="$build/学生信息文件/测试.xs"
for f in "$cli" "$build/模板文件/$template" "$roster"; do
    [[ -e "$f" ]] || { echo "bench-batch: $f is missing: build scorivo-cli and scorivo_data first" >&2; exit 1; }
done
[[ "$count" =~ ^[0-9]+$ && "$count" -ge 2 ]] || { echo "bench-batch: PICTURES must be a number >= 2" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
pictureDir="$work"
if [[ -n "${3:-}" ]]; then
    mkdir -p "$3"
    pictureDir="$(cd "$3" && pwd)"
fi
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"

# The key, and each student's answers: the key with a few questions changed,
# the same on every re-read (a re-read that differs would ask the overwrite question).
letters=(A B C D)
key=()
for ((q = 0; q < 85; ++q)); do key+=("${letters[$(((q * 7 + q / 5) % 4))]}"); done
join() { local IFS=,; echo "$*"; }
answersOf() {
    local s=$1 out=() q
    for ((q = 0; q < 85; ++q)); do
        if (((q * 13 + s * 7) % 9 == 0)); then
            local k=${key[q]}
            out+=("${letters[$(((${#k} + q + s) % 4))]}")
        else
            out+=("${key[q]}")
        fi
    done
    join "${out[@]}"
}
studentAnswers=()
for ((s = 0; s < 40; ++s)); do studentAnswers+=("$(answersOf "$s")"); done

shopt -s nullglob
existing=("$pictureDir"/card*.jpg)
make_picture() {
    local i=$1 out rotate=$(((i % 7) - 3))
    out="$pictureDir/$(printf 'card%05d.jpg' "$i")"
    ((i % 25 == 13)) && rotate=$((rotate + 180))  # held upside down
    local args=(synth --template "$build/模板文件/$template" --out "$out" --subject 02 --seed "$((i + 1))"
        --rotate "$rotate" --shift "$((((i % 9) - 4) * 3)),$((((i % 5) - 2) * 3))")
    if ((i == 0)); then
        args+=(--score 000 --answers "$(join "${key[@]}")")
    else
        local s=$(((i - 1) % 40))
        args+=(--admission "$(printf '%02d%07d' $((s / 20 + 1)) $((s % 20 + 1)))"
            --score "$(printf '%03d' $((20 + s)))" --answers "${studentAnswers[s]}")
        ((s % 3 == 2)) && args+=(--paper B)
        ((i % 10 == 5)) && args+=(--light gradient)
    fi
    "$cli" "${args[@]}" 2>/dev/null
}
cores="$(nproc)"
if [[ ${#existing[@]} -ne $count ]]; then
    rm -f "$pictureDir"/card*.jpg
    echo "bench-batch: making $count pictures in $pictureDir ..."
    for ((i = 0; i < count; ++i)); do
        make_picture "$i" &
        if (($(jobs -rp | wc -l) >= cores)); then wait -n; fi
    done
    wait
fi
pictures=("$pictureDir"/card*.jpg)
[[ ${#pictures[@]} -eq $count ]] || { echo "bench-batch: only ${#pictures[@]} pictures were made" >&2; exit 1; }

cd "$build"
new_session() {
    "$cli" session new --out "$1" --template "$template" --roster "$roster" --exam-name 速度测试 --subject 02 \
        --subjective --groups 1-85:1:S --force >/dev/null
}
now() { date +%s.%N; }
# run LABEL JOBS SESSION_DIR: prints cards per second; keeps the output for the comparison.
declare -A seconds
run() {
    local label=$1 jobs=$2 dir=$3 start end status=0
    if [[ $label == read ]]; then
        start=$(now)
        "$cli" read --jobs "$jobs" --template "模板文件/$template" "${pictures[@]}" >"$work/$label-$jobs.out" 2>"$work/$label-$jobs.err" || status=$?
        end=$(now)
    else
        new_session "$dir/bench.yj"
        start=$(now)
        "$cli" mark --jobs "$jobs" --session "$dir/bench.yj" "${pictures[@]}" >"$work/$label-$jobs.out" 2>"$work/$label-$jobs.err" || status=$?
        end=$(now)
        cp "$dir/bench.yj" "$work/$label-$jobs.yj"
    fi
    seconds[$label-$jobs]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    awk -v n="$count" -v s="${seconds[$label-$jobs]}" -v l="$label" -v j="$jobs" -v st="$status" \
        'BEGIN { printf "  %-22s --jobs %d: %7.2f s  %7.1f cards/s  (exit %d)\n", l, j, s, n / s, st }'
}
compare() {
    local label=$1
    for stream in out err; do
        cmp -s "$work/$label-1.$stream" "$work/$label-2.$stream" ||
            { echo "bench-batch: $label printed differently on 2 workers" >&2; exit 1; }
    done
    if [[ -e "$work/$label-1.yj" ]]; then
        cmp -s "$work/$label-1.yj" "$work/$label-2.yj" || { echo "bench-batch: $label saved different records on 2 workers" >&2; exit 1; }
    fi
    awk -v a="${seconds[$label-1]}" -v b="${seconds[$label-2]}" -v l="$label" \
        'BEGIN { printf "  %-22s 2 workers / 1 worker: %.2fx (output and records identical)\n", l, a / b }'
}

echo "bench-batch: load before: $(uptime | sed 's/.*load average/load average/'), $cores cores"
run mark 1 "$work"
run mark 2 "$work"
compare mark
if [[ -d /dev/shm && -w /dev/shm ]]; then
    # The same with the raw file on tmpfs, where the flush after every card costs nothing:
    # what the cores alone give.
    shm="$(mktemp -d /dev/shm/scorivo-bench.XXXXXX)"
    trap 'rm -rf "$work" "$shm"' EXIT
    run mark-session-on-tmpfs 1 "$shm"
    run mark-session-on-tmpfs 2 "$shm"
    compare mark-session-on-tmpfs
fi
run read 1 ""
run read 2 ""
compare read
accepted=$(grep -c '"code":0,' "$work/mark-1.out" || true)
echo "bench-batch: $accepted of $count cards accepted by mark"
echo "bench-batch: load after: $(uptime | sed 's/.*load average/load average/')"
