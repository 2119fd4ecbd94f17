#!/usr/bin/env bash
# 精简移动 in the real program under Wine. A recorded-looking script (default 1,000,000 lines,
# written by thin_moves_bench_win.exe, which first prints the thinner's and the script box's own
# times) is opened in Tesmuro.exe; once the box has wrapped it, the Edit menu's command is given
# (its WM_COMMAND, posted as the menu posts it), the tolerance dialog's OK pressed with the
# default 2 px, and the status bar polled from outside with the end-to-end driver until it says
# 删除了 ... . Prints the seconds from OK to that text, and from the command to it, for three runs
# (each in a freshly started program), with the driver's own time for one look at the status bar.
#
#   bench/thin_moves_bench_win.sh [-b BUILD_DIR] [LINES]
#
# BUILD_DIR: the Windows build (default build/win32) with Tesmuro.exe, bench/ and tests/e2e/.
# Uses the end-to-end harness's Xvfb display and Wine prefix of its own, removed at the end.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ "${1:-}" = -b ]; then E2E_BUILD="$(cd "$2" && pwd)" || exit 2; export E2E_BUILD; shift 2; fi
lines="${1:-1000000}"

# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
# shellcheck source=tests/e2e/fixture/input_log.sh
source "$root/tests/e2e/fixture/input_log.sh"
bench_exe="$E2E_BUILD/bench/thin_moves_bench_win.exe"
for f in "$E2E_APP" "$E2E_DRIVER" "$bench_exe"; do
  [ -f "$f" ] || { echo "missing $f: build the Windows configuration with TESMURO_BENCH=ON" >&2; exit 1; }
done

trap e2e_teardown_run EXIT
trap 'exit 130' INT TERM
e2e_setup_run || { echo "the Wine environment could not be set up" >&2; exit 1; }
e2e_begin_test thin_moves_bench
trap 'e2e_end_test 0; e2e_teardown_run' EXIT
script="$TEST_DIR/recorded.crec"

echo "== inside the program's parts (thin_moves_bench_win.exe)"
_e2e_wine "$bench_exe" "$lines" "$(winpath "$script")" || { echo "the parts' bench failed" >&2; exit 1; }

thinned_shown() { [[ "$(drv status "${MAIN[@]}" --part 3 2>/dev/null)" == 删除了* ]]; }

echo "== the command in Tesmuro.exe ($lines lines, tolerance 2 px)"
dir=$(app_folder)
write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1
dialog=(--pid 0 --class '#32770' --caption 精简移动)
for run in 1 2 3; do
  # The journal of the run before would be offered back at the start.
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Tesmuro
  APP_PID=$(start_program "$dir/Tesmuro.exe" "$(winpath "$script")")
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  dialog[1]=$APP_PID
  wait_output "Tesmuro - $(winpath "$script")" "caption after the load" drv info "${MAIN[@]}" --field caption
  # The box wraps a million lines in the background (about 4 s on an idle machine): let it finish
  # so that only the command is timed.
  sleep 12
  t0=$(e2e_now_ms)
  drv menu-invoke "${MAIN[@]}" "编辑(&Edit)" "精简移动(&M)..." >/dev/null 2>&1 || { echo "menu-invoke failed" >&2; exit 1; }
  drv wait-window "${dialog[@]}" --visible >/dev/null 2>&1 || { echo "no tolerance dialog" >&2; exit 1; }
  t1=$(e2e_now_ms)
  drv click "${dialog[@]}" --id 1 >/dev/null 2>&1
  until thinned_shown; do
    [ $(( $(e2e_now_ms) - t1 )) -lt 120000 ] || { echo "no status text after 120 s" >&2; exit 1; }
  done
  t2=$(e2e_now_ms)
  status=$(drv status "${MAIN[@]}" --part 3 2>/dev/null)
  t3=$(e2e_now_ms)
  printf 'run %d: OK to "%s": %d.%03d s; from the menu command: %d.%03d s (one look at the status bar: %d ms)\n' \
    "$run" "$status" $(((t2 - t1) / 1000)) $(((t2 - t1) % 1000)) $(((t2 - t0) / 1000)) $(((t2 - t0) % 1000)) \
    $((t3 - t2))
  drv kill "$APP_PID" --timeout 5000 >/dev/null 2>&1
done
