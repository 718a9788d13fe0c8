#!/usr/bin/env bash
# The installed program, as a teacher gets it: installed into a temporary
# prefix, run with a fresh HOME. The command line marks the demo stack; the
# raw file and the score output land in ~/.local/share/scorivo, and nothing
# is written under the prefix. The installed window starts on a virtual
# display and makes the same folders.
#
# usage: installed_program.sh <build folder>
set -euo pipefail

build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=/usr
DESTDIR="$work/root" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$work/root$prefix"
cli="$root/bin/scorivo-cli"
[ -x "$cli" ] && [ -x "$root/bin/scorivo" ] || fail "the programs are not in bin/"
desktop-file-validate "$root/share/applications/scorivo.desktop" || fail "the menu entry is not valid"
grep -q 'pattern="\*.yj"' "$root/share/mime/packages/scorivo.xml" || fail "no file type for .yj"
[ -f "$root/share/icons/hicolor/48x48/apps/scorivo.png" ] || fail "no 48x48 icon"
touch "$work/installed"
sleep 1  # so files written by the runs below are newer than the mark

export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
unset SCORIVO_HOME XDG_DATA_HOME
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
user="$HOME/.local/share/scorivo"

folders="$("$cli" folders)"
[ "$folders" = "user $user
shipped $root/share/scorivo" ] || fail "folders printed: $folders"

# The demo stack: the standard answer, then two students of the shipped roster.
template="DY标准85题自动AB卷.dat"
[ -L "$user/模板文件/$template" ] || fail "the shipped template is not beside the user's own"
letters=(A B C D)
key=()
for ((q = 0; q < 85; ++q)); do key+=("${letters[$(((q * 7 + q / 5) % 4))]}"); done
keyText="$(IFS=,; echo "${key[*]}")"
"$cli" synth --template "$user/模板文件/$template" --out "$work/card0.jpg" --subject 02 --score 000 \
    --answers "$keyText" --seed 1 2>/dev/null
"$cli" synth --template "$user/模板文件/$template" --out "$work/card1.jpg" --subject 02 --admission 010000001 \
    --score 020 --answers "$keyText" --seed 2 2>/dev/null
"$cli" synth --template "$user/模板文件/$template" --out "$work/card2.jpg" --subject 02 --admission 010000002 \
    --score 021 --answers "B,${keyText#*,}" --seed 3 2>/dev/null

raw="$user/阅卷原始文件/演示考试.yj"
"$cli" session new --out "$raw" --template "$template" --roster "$user/学生信息文件/测试.xs" \
    --exam-name 演示考试 --subject 02 --groups 1-85:1:S >/dev/null
marked="$("$cli" mark --session "$raw" "$work"/card0.jpg "$work"/card1.jpg "$work"/card2.jpg)"
[ "$(printf '%s\n' "$marked" | wc -l)" -eq 3 ] || fail "mark printed: $marked"
"$cli" export --session "$raw" --items 准考证号,总得分 --class ALL >/dev/null
result="$user/成绩输出/Result.csv"
[ -s "$raw" ] || fail "no raw file at $raw"
[ -s "$result" ] || fail "no score output at $result"
grep -q '010000001' "$result" && grep -q '010000002' "$result" || fail "the scores are not in $result"
grep -q "^'010000001,85," "$result" || fail "the student with every answer right has no 85: $(cat "$result")"
grep -q "^'010000002,84," "$result" || fail "the student with one wrong answer has no 84: $(cat "$result")"

# The teacher's work beside an older build is copied, never moved.
older="$work/older-build"
mkdir -p "$older/阅卷原始文件" "$older/学生信息文件"
echo old >"$older/阅卷原始文件/期中语文.yj"
echo roster >"$older/学生信息文件/我的班.xs"
"$cli" folders --copy-from "$older" >/dev/null
cmp -s "$older/阅卷原始文件/期中语文.yj" "$user/阅卷原始文件/期中语文.yj" || fail "the older raw file was not copied"
[ -f "$user/学生信息文件/我的班.xs" ] && [ -f "$older/学生信息文件/我的班.xs" ] || fail "the older roster was lost"

# The installed window starts with the fresh HOME and makes its folders too.
rm -rf "$user"
unset QT_QPA_PLATFORM
cat >"$work/window.sh" <<'WINDOW'
set -u
"$1" &
pid=$!
for _ in $(seq 1 100); do
    xdotool search --onlyvisible --class scorivo >/dev/null 2>&1 && break
    sleep 0.2
done
xdotool search --onlyvisible --class scorivo >/dev/null 2>&1 || { kill "$pid"; exit 1; }
kill "$pid"
wait "$pid" 2>/dev/null
exit 0
WINDOW
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/window.sh" "$root/bin/scorivo" || fail "the installed window did not appear"
[ -d "$user/阅卷原始文件" ] && [ -L "$user/学生信息文件/测试.xs" ] || fail "the window did not make the user's folders"

written="$(find "$work/root" -newer "$work/installed" -print)"
[ -z "$written" ] || fail "written under the prefix: $written"
echo "installed program: marked into $user, nothing written under the prefix"
