#!/usr/bin/env bash
# Runs the end-to-end tests under Wine on an Xvfb display of their own.
#
#   tests/e2e/run.sh [-b BUILD_DIR] [-l] [PATTERN...]
#
# BUILD_DIR is the Windows build (default build/win32), holding Tesmuro.exe and tests/e2e/ with the
# driver. PATTERNs (extended regular expressions) select tests by "file:function"; -l lists them.
# Prints one line per test and then "N passed, M failed"; exits 1 if any test failed.
# Environment: E2E_ARTIFACTS (default build/e2e-artifacts), E2E_KEEP_RUN=1 keeps the run folder.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

list_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    -b) E2E_BUILD="$(cd "$2" && pwd)" || exit 2; export E2E_BUILD; shift 2 ;;
    -l) list_only=1; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
patterns=("$@")

# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

# Collect the tests: the test_* functions each file defines, in file order.
tests=()
for file in "$here"/test_*.sh; do
  before="$(declare -F | awk '{print $3}' | grep '^test_' | sort)"
  # shellcheck disable=SC1090
  source "$file"
  after="$(declare -F | awk '{print $3}' | grep '^test_' | sort)"
  # in definition order
  for fn in $(grep -oE '^test_[A-Za-z0-9_]+ *\(\)' "$file" | tr -d ' ()'); do
    if grep -qx "$fn" <<<"$after" && ! grep -qx "$fn" <<<"$before"; then
      id="$(basename "$file" .sh):$fn"
      if [ ${#patterns[@]} -eq 0 ]; then tests+=("$id"); continue; fi
      for p in "${patterns[@]}"; do
        if [[ "$id" =~ $p ]]; then tests+=("$id"); break; fi
      done
    fi
  done
done

if [ "$list_only" = 1 ]; then printf '%s\n' "${tests[@]}"; exit 0; fi
if [ ${#tests[@]} -eq 0 ]; then echo "no test matches: ${patterns[*]}"; echo "0 passed, 0 failed"; exit 1; fi
for tool in "$E2E_DRIVER" "$E2E_TOOLS/tesmuro_probe.dll" "$E2E_FIXTURE"; do
  if [ ! -f "$tool" ]; then
    echo "missing $tool: build the Windows configuration first (cmake --build $E2E_BUILD)"
    echo "0 passed, ${#tests[@]} failed"
    exit 1
  fi
done

run_start=$(e2e_now_ms)
trap e2e_teardown_run EXIT
trap 'exit 130' INT TERM
if ! e2e_setup_run; then
  echo "the Wine environment could not be set up"
  echo "0 passed, ${#tests[@]} failed"
  exit 1
fi
echo "e2e: ${#tests[@]} tests, display $DISPLAY, prefix $WINEPREFIX (set up in $(( $(e2e_now_ms) - run_start )) ms)"

passed=0
failed=0
failed_names=()
for id in "${tests[@]}"; do
  fn="${id#*:}"
  e2e_begin_test "$fn"
  t0=$(e2e_now_ms)
  (
    set -eE -o pipefail
    trap 'e2e_on_error $? "$BASH_COMMAND" $LINENO' ERR
    cd "$TEST_DIR"
    "$fn"
  ) >"$TEST_DIR/output.log" 2>&1
  status=$?
  e2e_end_test "$status"
  ms=$(( $(e2e_now_ms) - t0 ))
  secs="$(printf '%d.%01d' $((ms / 1000)) $(((ms % 1000) / 100)))"
  if [ "$status" = 0 ]; then
    passed=$((passed + 1))
    printf 'PASS  %-58s %6s s\n' "$id" "$secs"
  else
    failed=$((failed + 1))
    failed_names+=("$id")
    printf 'FAIL  %-58s %6s s\n' "$id" "$secs"
    sed 's/^/      | /' "$TEST_DIR/output.log" | tail -n 40
    echo "      artifacts: $TEST_ART"
  fi
done

total=$(( $(e2e_now_ms) - run_start ))
median="$(e2e_launch_median)"
[ -n "$median" ] && echo "launch to visible main window: median ${median} ms over $(e2e_launch_count) starts"
[ -s "$E2E_RUN_DIR/figures" ] && cat "$E2E_RUN_DIR/figures"
echo "whole run: $((total / 1000)).$(((total % 1000) / 100)) s"
[ ${#failed_names[@]} -gt 0 ] && echo "failed: ${failed_names[*]}"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
