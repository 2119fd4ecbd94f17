#!/usr/bin/env bash
# tesmuro thin, the way a user runs it, in two parts:
#
# 1. Speed: a recorded-looking script of LINES lines (default 1,000,000: curved mouse paths of
#    small steps a few milliseconds apart, a click between two paths, CR LF) is thinned by
#    `tesmuro thin FILE -o OUT` as a child process, five times; prints the seconds of each run
#    (the process from start to exit, the file read and written included), the best and the
#    median, and what was taken out. The target is at most 1 s.
# 2. A real recorded path: on an Xvfb display of its own, `tesmuro record` (every move recorded)
#    runs while xdotool moves the pointer in small steps along a circle, arcs and a sine wave,
#    with clicks between them; the recording ends with Pause. The recording is thinned with
#    `--tolerance T -o ...` for T = 1, 2 and 5; prints the share of the move lines taken out.
#
#   bench/thin_moves_bench_linux.sh [-b BUILD_DIR] [LINES]
#
# BUILD_DIR (default build/release) holds a Release build of the Linux program
# (BUILD_DIR/linux/tesmuro); when there is none, it is configured and built there first. Needs
# python3, Xvfb and xdotool. Figures are printed, not asserted; the exit code is non-zero only
# when a run failed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"
if [ "${1:-}" = -b ]; then build="$(cd "$2" && pwd)" || exit 2; shift 2; fi
lines="${1:-1000000}"
bin="$build/linux/tesmuro"

if [ ! -x "$bin" ]; then
  echo "building the Linux program (Release) in $build ..."
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESMURO_TESTS=OFF >/dev/null &&
    cmake --build "$build" --target tesmuro >/dev/null || { echo "the build failed" >&2; exit 2; }
fi
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null)
[ "$type" = Release ] || echo "note: $bin is a ${type:-unknown} build, not Release; its figures say little"
for tool in python3 Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d)
xvfb_pid=
rec_pid=
cleanup() {
  [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null && wait "$rec_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"

# --- 1. Speed on a million lines -------------------------------------------------------------
python3 - "$bin" "$work/big.crec" "$work/big.thin" "$lines" <<'PY' || exit 1
import math, random, statistics, subprocess, sys, time

bin, script, out, total = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
delay, move = "延迟 ".encode("gbk"), "移动 ".encode("gbk")
down, up = "左键按下\r\n".encode("gbk"), "左键释放\r\n".encode("gbk")
rng = random.Random(7)
parts, n = ["屏幕 0,0,1920,1080,96\r\n".encode("gbk")], 1
x, y = 960.0, 540.0
while n < total:
    # One stroke: a curve of small steps whose heading turns smoothly and whose speed rises
    # and falls, as a hand moves a mouse.
    steps = rng.randint(40, 400)
    heading, turn = rng.uniform(0, 2 * math.pi), rng.uniform(-0.05, 0.05)
    top = rng.uniform(3, 14)
    for i in range(steps):
        turn += rng.uniform(-0.004, 0.004)
        heading += turn
        speed = top * math.sin(math.pi * (i + 1) / (steps + 1)) + 0.5
        x = min(1919, max(0, x + speed * math.cos(heading)))
        y = min(1079, max(0, y + speed * math.sin(heading)))
        parts.append(b"%s%d\r\n%s%d,%d\r\n" % (delay, rng.randint(1, 9), move, round(x), round(y)))
    parts.append(b"%s%d\r\n%s%s%d\r\n%s" % (delay, rng.randint(50, 400), down, delay, rng.randint(60, 130), up))
    n += 2 * steps + 4
with open(script, "wb") as f:
    f.write(b"".join(parts))
moves = sum(p.count(b"\n" + move) for p in parts)

runs, said = [], ""
for _ in range(5):
    start = time.perf_counter()
    done = subprocess.run([bin, "thin", script, "-o", out], capture_output=True)
    runs.append(time.perf_counter() - start)
    if done.returncode != 0:
        sys.exit("tesmuro thin failed (%d): %s" % (done.returncode, done.stderr.decode(errors="replace")))
    said = done.stdout.decode().strip()
with open(script, "rb") as f:
    size = len(f.read())
print("1. tesmuro thin on %d lines (%d moves, %.1f MB), tolerance 2, -o:" % (n, moves, size / 1e6))
print("   runs: %s s" % ", ".join("%.3f" % r for r in runs))
print("   best %.3f s, median %.3f s (target: at most 1 s); it said: %s"
      % (min(runs), statistics.median(runs), said))
PY

# --- 2. A real recorded path under Xvfb -------------------------------------------------------
mkfifo "$work/fd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/fd" 2>"$work/xvfb.log" &
xvfb_pid=$!
read -r -t 20 number <"$work/fd" || { echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$number"

"$bin" record "$work/rec.crec" 2>"$work/rec.err" &
rec_pid=$!
for _ in $(seq 50); do grep -q "开始录制" "$work/rec.err" && break; sleep 0.1; done
# The pointer's way: xdotool commands, a step every 3 ms, 1 to 3 pixels long.
path=$(awk 'function go(x, y) { printf "mousemove %d %d sleep 0.003 ", x, y }
  BEGIN {
    pi = 3.14159265
    for (i = 0; i <= 720; i++) go(640 + 250 * cos(i * pi / 360), 512 + 250 * sin(i * pi / 360))   # a circle
    printf "click 1 "
    for (i = 0; i <= 400; i++) go(300 + 400 * cos(i * pi / 800), 900 - 400 * sin(i * pi / 800)) # a quarter arc
    printf "click 1 "
    for (i = 0; i <= 300; i++) go(900 - 150 * cos(i * pi / 300), 300 + 150 * sin(i * pi / 300)) # a half arc
    printf "click 3 "
    for (x = 100; x <= 1180; x += 2) go(x, 512 + 200 * sin(x / 90))                                 # a sine wave
    printf "click 1 "
  }')
# shellcheck disable=SC2086
xdotool $path
sleep 0.3
xdotool key Pause
wait "$rec_pid"; rc=$?
rec_pid=
[ "$rc" = 0 ] || { echo "tesmuro record failed ($rc): $(cat "$work/rec.err")" >&2; exit 1; }

count_moves() { LC_ALL=C grep -c $'^\xd2\xc6\xb6\xaf ' "$1"; }
before=$(count_moves "$work/rec.crec")
echo "2. a recorded path on Xvfb: $(LC_ALL=C wc -l <"$work/rec.crec") lines, $before moves"
for t in 1 2 5; do
  said=$("$bin" thin "$work/rec.crec" --tolerance "$t" -o "$work/rec-$t.crec") || { echo "thin failed" >&2; exit 1; }
  after=$(count_moves "$work/rec-$t.crec")
  awk -v t="$t" -v b="$before" -v a="$after" -v s="$said" \
    'BEGIN { printf "   tolerance %d px: %d of %d moves left, %.1f %% taken out (%s)\n", t, a, b, 100 * (b - a) / b, s }'
done
