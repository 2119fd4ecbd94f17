#!/usr/bin/env bash
# The tesmuro program as a user meets it on the command line: usage, bad
# input, exit codes, the settings file, a recording that cannot be written,
# an X server that goes away, and the .deb unpacked into a scratch folder.
# Runs on an Xvfb display of its own (tests/linux/run_xvfb.sh).
#   tests/linux/cli_test.sh BUILD/linux/tesmuro BUILD
set -u
bin=$1
build=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# expect CODE PATTERN -- COMMAND...: exit code and a line of stderr/stdout.
expect() {
  local code=$1 pattern=$2; shift 3
  local out rc
  out=$(timeout 60 "$@" 2>&1); rc=$?
  [ "$rc" = "$code" ] || fail "$* -> exit $rc, wanted $code: $out"
  [ -z "$pattern" ] || grep -q -- "$pattern" <<<"$out" || fail "$* -> no '$pattern' in: $out"
}
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
# Waits until a recording started in the background says that it records
# (its standard error in $1): from then on no input is lost.
recording() {
  local i
  for ((i = 0; i < 2000; i++)); do
    grep -q "开始录制到" "$1" 2>/dev/null && return 0
    sleep 0.01
  done
  fail "the recording did not start: $(cat "$1")"
}

# Usage and the man page.
expect 0 "tesmuro record" -- "$bin" --help
expect 0 "tesmuro 1" -- "$bin" --version
expect 2 "未知选项“--bogus”" -- "$bin" play x.crec --bogus
expect 2 "缺少命令" -- "$bin"
expect 2 "--loops 的遍数必须是 1 到 2147483647 之间的整数：0" -- "$bin" play x.crec --loops=0
expect 0 "--game" -- "$bin" --help
expect 2 "--game 只用于 record" -- "$bin" play x.crec --game
man -l "$(dirname "$0")/../../linux/tesmuro.1" >/dev/null 2>&1 || fail "the man page does not format"

# The settings file is created with the defaults on first use; a named one must exist.
gbk $'延迟 1\r\n' >"$work/one.crec"
expect 0 "" -- "$bin" play "$work/one.crec"
[ "$(wc -l <"$work/config/tesmuro/Quorlin.qlset")" -ge 26 ] || fail "no settings file with the defaults"
expect 2 "无法读取设置文件" -- "$bin" play "$work/one.crec" --settings "$work/none.qlset"

# Bad scripts: missing, not GBK, UTF-8, a key code that is not a number.
expect 2 "无法打开脚本" -- "$bin" play "$work/missing.crec"
printf '\xff\xfe\x00a' >"$work/binary.crec"
expect 2 "不是 GBK 文本" -- "$bin" play "$work/binary.crec"
printf '延迟 10\r\n移动 1,2\r\n' >"$work/utf8.crec"
expect 2 "UTF-8" -- "$bin" play "$work/utf8.crec"
gbk $'按键按下 abc 0 0 0 0\r\n' >"$work/badkey.crec"
expect 2 "第 1 行：按键或滚轮的代码不是数字，回放已停止" -- "$bin" play "$work/badkey.crec"

# A million lines play through (nothing but short delays and moves).
python3 - "$work/big.crec" <<'PY'
import sys
line_d = "延迟 0\r\n".encode("gbk"); line_m = "移动 5,5\r\n".encode("gbk")
with open(sys.argv[1], "wb") as f:
    f.write((line_d + line_m) * 500000)
PY
expect 0 "" -- "$bin" play "$work/big.crec"

# Keys that have no X keycode are told once each and skipped.
gbk $'按键按下 231 0 0 0 0\r\n按键弹起 231 0 128 0 0\r\n按键按下 231 0 0 0 0\r\n按键弹起 231 0 128 0 0\r\n' \
  >"$work/nokey.crec"
out=$("$bin" play "$work/nokey.crec" 2>&1); rc=$?
[ "$rc" = 0 ] || fail "nokey: exit $rc"
[ "$(grep -c '按键 231' <<<"$out")" = 1 ] || fail "nokey: told $(grep -c '按键 231' <<<"$out") times: $out"

# No display, Wayland without XWayland, an unreachable display.
expect 2 "DISPLAY 未设置" -- env -u DISPLAY -u WAYLAND_DISPLAY "$bin" play "$work/one.crec"
expect 2 "Wayland" -- env -u DISPLAY WAYLAND_DISPLAY=wayland-0 "$bin" play "$work/one.crec"
expect 2 "无法连接 X 显示" -- "$bin" play "$work/one.crec" --display :987

# A recording that cannot be written goes to a recovery file (exit 2).
"$bin" record "$work/no/such/dir/r.crec" 2>"$work/rec.err" & p=$!; pids+=("$p")
recording "$work/rec.err"; xdotool key Pause; wait "$p"; rc=$?
[ "$rc" = 2 ] || fail "unwritable recording: exit $rc"
ls "$work/state/tesmuro/"recovered-*.crec >/dev/null 2>&1 || fail "no recovery file: $(cat "$work/rec.err")"

# Ctrl+C (SIGINT) ends a recording: the file is written, exit 0.
"$bin" record "$work/int.crec" 2>"$work/int.err" & p=$!; pids+=("$p")
recording "$work/int.err"; xdotool mousemove 10 10; sleep 0.2; kill -INT "$p"; wait "$p"; rc=$?
[ "$rc" = 0 ] || fail "SIGINT recording: exit $rc"
iconv -f GBK -t UTF-8 "$work/int.crec" | grep -q '^移动 10,10' || fail "SIGINT recording lost its lines"

# --game records the pointer's relative motion, ended by Ctrl+C too.
"$bin" record "$work/game.crec" --game 2>"$work/game.err" & p=$!; pids+=("$p")
recording "$work/game.err"; xdotool mousemove_relative -- 6 -4; sleep 0.1; xdotool mousemove_relative -- 3 2; sleep 0.2
kill -INT "$p"; wait "$p"; rc=$?
[ "$rc" = 0 ] || fail "game recording: exit $rc $(cat "$work/game.err")"
game=$(iconv -f GBK -t UTF-8 "$work/game.crec")
sum=$(sed -n 's/^相对移动 \(-\?[0-9]*\),\(-\?[0-9]*\)\r\?$/\1 \2/p' <<<"$game" |
      awk '{x += $1; y += $2} END {print x + 0 "," y + 0}')
[ "$sum" = "9,-2" ] || fail "game recording: relative motion $sum, wanted 9,-2: $game"
grep -q '^移动 ' <<<"$game" && fail "game recording wrote positions: $game"

# An X server that goes away mid-run: exit 2, with the recording saved.
fifo=$work/fd; mkfifo "$fifo"
Xvfb -displayfd 3 -nolisten tcp 3>"$fifo" 2>/dev/null & xpid=$!; pids+=("$xpid")
read -r -t 20 n <"$fifo"
gbk $'延迟 20000\r\n' >"$work/long.crec"
DISPLAY=:$n "$bin" play "$work/long.crec" 2>"$work/gone.err" & p=$!; pids+=("$p")
DISPLAY=:$n "$bin" record "$work/gone.crec" 2>"$work/gone2.err" & p2=$!; pids+=("$p2")
recording "$work/gone2.err"; DISPLAY=:$n xdotool mousemove 7 7; sleep 0.3
kill "$xpid"; wait "$xpid" 2>/dev/null
wait "$p"; rc=$?
[ "$rc" = 2 ] || fail "server gone (play): exit $rc $(cat "$work/gone.err")"
grep -q "连接已断开" "$work/gone.err" || fail "server gone (play): no message"
wait "$p2"; rc=$?
[ "$rc" = 2 ] || fail "server gone (record): exit $rc $(cat "$work/gone2.err")"
iconv -f GBK -t UTF-8 "$work/gone.crec" 2>/dev/null | grep -q '^移动 7,7' || fail "server gone (record): lines lost"

# tesmuro thin on a recorded curve: moves go, every other line stays with its
# time and the pointer's place; -o leaves the recording as it is.
"$bin" record "$work/curve.crec" 2>"$work/curve.err" & p=$!; pids+=("$p")
recording "$work/curve.err"
arc() { awk -v from="$1" -v to="$2" 'BEGIN { for (i = from; i <= to; i++) {
  a = i * 3.14159265 / 60; printf "mousemove %d %d sleep 0.004 ", 500 + 200 * cos(a), 400 + 150 * sin(a) } }'; }
# shellcheck disable=SC2046
xdotool $(arc 0 60) click 1 $(arc 61 120) click 3 $(arc 121 150) key Pause
wait "$p" || fail "curve recording: exit $?"
cp "$work/curve.crec" "$work/curve.orig"
# Per action other than a move: the time before it, the last move before it, the line.
acts() { iconv -f GBK -t UTF-8 "$1" | tr -d '\r' |
         awk '/^移动 /{m = $0; n++; next} /^延迟 /{t += $2; next} {print t "|" m "|" $0} END {print t, n + 0}'; }
out=$("$bin" thin "$work/curve.crec" -o "$work/curve.thin" 2>&1) || fail "thin: exit $?: $out"
grep -q '^删除了 [1-9][0-9]* 行，剩 [0-9]* 行$' <<<"$out" || fail "thin: $out"
cmp -s "$work/curve.crec" "$work/curve.orig" || fail "thin -o changed its input"
[ "$(acts "$work/curve.thin" | head -n -1)" = "$(acts "$work/curve.crec" | head -n -1)" ] ||
  fail "thin moved an action: $(diff <(acts "$work/curve.crec") <(acts "$work/curve.thin") | head)"
read -r t0 n0 < <(acts "$work/curve.crec" | tail -1); read -r t1 n1 < <(acts "$work/curve.thin" | tail -1)
[ "$t1" = "$t0" ] && [ "$n1" -lt $((n0 / 2)) ] || fail "thin: time $t0 -> $t1, moves $n0 -> $n1"
grep -c '^[左右]键按下' <(iconv -f GBK -t UTF-8 "$work/curve.thin") | grep -qx 2 || fail "thin: clicks lost"
expect 2 "容差“-1”无效" -- "$bin" thin "$work/curve.crec" --tolerance -1
"$bin" thin "$work/curve.crec" >/dev/null && cmp -s "$work/curve.crec" "$work/curve.thin" ||
  fail "thin in place differs from thin -o"
expect 2 "不是 GBK 文本" -- "$bin" thin "$work/binary.crec"
cmp -s "$work/binary.crec" <(printf '\xff\xfe\x00a') || fail "thin touched a file it refused"

# The same curve recorded with 移动最小距离 25 (the 35th settings line): far fewer
# moves, and every click still acts where the pointer was.
sed '35s/.*/25\r/' "$XDG_CONFIG_HOME/tesmuro/Quorlin.qlset" >"$work/lean.qlset"
"$bin" record "$work/lean.crec" --settings "$work/lean.qlset" 2>"$work/lean.err" & p=$!; pids+=("$p")
recording "$work/lean.err"
# shellcheck disable=SC2046
xdotool $(arc 0 60) click 1 $(arc 61 120) click 3 $(arc 121 150) key Pause
wait "$p" || fail "lean recording: exit $?"
places() { acts "$1" | head -n -1 | cut -d'|' -f2- | grep -v '|按键'; }  # a key line carries its time
[ "$(places "$work/lean.crec")" = "$(places "$work/curve.crec")" ] ||
  fail "lean recording: clicks elsewhere: $(diff <(places "$work/curve.crec") <(places "$work/lean.crec") | head | tr "\n" " ")"
read -r _ lean < <(acts "$work/lean.crec" | tail -1)
[ "$lean" -lt $((n0 / 3)) ] || fail "lean recording: $lean moves, $n0 without the limit"

# The .deb, unpacked into a scratch folder and run from there.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || fail "cpack: $(tail -5 "$work/cpack.log")"
  deb=$(ls "$work"/pkg/tesmuro_*.deb 2>/dev/null | head -1)
  if [ -n "$deb" ]; then
    dpkg-deb -x "$deb" "$work/root"
    [ -f "$work/root/usr/share/man/man1/tesmuro.1" ] || fail ".deb without the man page"
    expect 0 "tesmuro record" -- "$work/root/usr/bin/tesmuro" --help
    expect 0 "" -- "$work/root/usr/bin/tesmuro" play "$work/one.crec"
    dpkg-deb -f "$deb" Depends | grep -q libx11 || fail ".deb does not depend on libx11"
  else
    fail "cpack made no .deb"
  fi
fi

[ "$failures" = 0 ] && echo "cli tests passed" || { echo "$failures failures"; exit 1; }
