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
# by the next run with the same count. BENCH_REPEAT=N runs each measurement
# N times and keeps the fastest (on a shared machine the fastest run is the
# one least disturbed by others); BENCH_IDLE=P waits before each timed run
# until the CPU was at least P % idle over a second (at most ten minutes). Build with -DCMAKE_BUILD_TYPE=Release first. The
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
repeat="${BENCH_REPEAT:-1}"
[[ "$repeat" =~ ^[1-9][0-9]*$ ]] || { echo "bench-batch: BENCH_REPEAT must be a number >= 1" >&2; exit 2; }
# The share of the machine's CPU time that was idle over one second.
idle() {
    local a b a1 a2 a3 a4 a5 a6 a7 a8 b1 b2 b3 b4 b5 b6 b7 b8
    read -r _ a1 a2 a3 a4 a5 a6 a7 a8 _ </proc/stat
    sleep 1
    read -r _ b1 b2 b3 b4 b5 b6 b7 b8 _ </proc/stat
    a=$((b1 + b2 + b3 + b4 + b5 + b6 + b7 + b8 - a1 - a2 - a3 - a4 - a5 - a6 - a7 - a8))
    b=$((b4 + b5 - a4 - a5))
    awk -v t="$a" -v i="$b" 'BEGIN { printf "%.0f %%", (t > 0 ? 100 * i / t : 0) }'
}
idleWanted="${BENCH_IDLE:-0}"
[[ "$idleWanted" =~ ^[0-9]+$ && "$idleWanted" -le 100 ]] || { echo "bench-batch: BENCH_IDLE must be 0 to 100" >&2; exit 2; }
waitForIdle() {
    local waited=0 share
    ((idleWanted > 0)) || return 0
    while share=$(idle) && ((${share% *} < idleWanted && waited < 600)); do
        waited=$((waited + 1))
    done
    ((waited < 600)) || echo "bench-batch: the CPU was never $idleWanted % idle; measuring anyway" >&2
}
# once LABEL JOBS SESSION_DIR: one timed run; the fastest so far is kept in seconds[LABEL-JOBS].
declare -A seconds exits
once() {
    local label=$1 jobs=$2 dir=$3 start end status=0
    [[ $label == read ]] || new_session "$dir/bench.yj"
    waitForIdle
    if [[ $label == read ]]; then
        start=$(now)
        "$cli" read --jobs "$jobs" --template "模板文件/$template" "${pictures[@]}" >"$work/$label-$jobs.out" \
            2>"$work/$label-$jobs.err" || status=$?
        end=$(now)
    else
        start=$(now)
        "$cli" mark --jobs "$jobs" --session "$dir/bench.yj" "${pictures[@]}" >"$work/$label-$jobs.out" \
            2>"$work/$label-$jobs.err" || status=$?
        end=$(now)
        cp "$dir/bench.yj" "$work/$label-$jobs.yj"
    fi
    exits[$label-$jobs]=$status
    seconds[$label-$jobs]=$(awk -v a="$start" -v b="$end" -v best="${seconds[$label-$jobs]:-}" \
        'BEGIN { s = b - a; if (best != "" && best < s) s = best; printf "%.3f", s }')
}
# measure LABEL SESSION_DIR: one and two workers, alternately, then the
# figures and the check that both printed and saved the same.
measure() {
    local label=$1 dir=$2 r jobs stream
    for ((r = 0; r < repeat; ++r)); do
        once "$label" 1 "$dir"
        once "$label" 2 "$dir"
    done
    for jobs in 1 2; do
        awk -v n="$count" -v s="${seconds[$label-$jobs]}" -v l="$label" -v j="$jobs" -v st="${exits[$label-$jobs]}" \
            -v r="$repeat" 'BEGIN { printf "  %-22s --jobs %d: %7.2f s  %7.1f cards/s  (exit %d%s)\n", l, j, s, n / s,
                                    st, (r > 1 ? ", fastest of " r : "") }'
    done
    for stream in out err; do
        cmp -s "$work/$label-1.$stream" "$work/$label-2.$stream" ||
            { echo "bench-batch: $label printed differently on 2 workers" >&2; exit 1; }
    done
    if [[ -e "$work/$label-1.yj" ]]; then
        cmp -s "$work/$label-1.yj" "$work/$label-2.yj" ||
            { echo "bench-batch: $label saved different records on 2 workers" >&2; exit 1; }
    fi
    awk -v a="${seconds[$label-1]}" -v b="${seconds[$label-2]}" -v l="$label" \
        'BEGIN { printf "  %-22s 2 workers / 1 worker: %.2fx (output and records identical)\n", l, a / b }'
}

echo "bench-batch: $cores cores; before: $(uptime | sed 's/.*load average/load average/'), CPU idle $(idle)"
measure mark "$work"
if [[ -d /dev/shm && -w /dev/shm ]]; then
    # The same with the raw file on tmpfs, where the flush after every card costs nothing:
    # what the cores alone give.
    shm="$(mktemp -d /dev/shm/scorivo-bench.XXXXXX)"
    trap 'rm -rf "$work" "$shm"' EXIT
    measure mark-session-on-tmpfs "$shm"
fi
measure read ""
accepted=$(grep -c '"code":0,' "$work/mark-1.out" || true)
echo "bench-batch: $accepted of $count cards accepted by mark"
echo "bench-batch: after: $(uptime | sed 's/.*load average/load average/'), CPU idle $(idle)"
