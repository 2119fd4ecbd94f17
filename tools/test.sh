#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
#   1. unit tests, native (g++)
#   2. unit tests again under AddressSanitizer + UndefinedBehaviorSanitizer
#   3. the playback tests under ThreadSanitizer
#   4. unit tests built for Windows (32-bit) and run under Wine: the portable ones and the
#      Windows halves' own
#   5. end-to-end tests of the real Tesmuro.exe under Wine on an Xvfb display (with the Linux
#      program of step 1 beside it on the same display for the cross-edition test)
#   and the Linux program tesmuro on its own Xvfb displays (after step 1)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$(date +%s)
failed=()
step() {
  local name=$1; shift
  echo
  echo "=== $name"
  local t0=$(date +%s)
  if "$@"; then
    echo "=== $name: passed ($(( $(date +%s) - t0 )) s)"
  else
    echo "=== $name: FAILED ($(( $(date +%s) - t0 )) s)"
    failed+=("$name")
  fi
}

tools/install-deps.sh || exit 1

# A passing run prints its summary; a failing one every test that failed, with its output.
native() {
  tools/build.sh native || return 1
  local log=build/native/unit-tests.log
  if ctest --test-dir build/native --output-on-failure -j "$(nproc)" -E '^linux_' >"$log" 2>&1; then
    tail -n 3 "$log"
  else
    grep -v -E '^ *(Start +[0-9]+:|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed)' "$log"
    return 1
  fi
}
# The Linux program on Xvfb displays of its own: recorded and played input, bad input, the .deb.
linux_x11() { ctest --test-dir build/native --output-on-failure -R '^linux_'; }
asan() {
  tools/build.sh asan tesmuro_tests &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      build/asan/tests/tesmuro_tests --gtest_brief=1
}
tsan() {
  tools/build.sh tsan tesmuro_tests &&
    TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/tesmuro_tests --gtest_brief=1 --gtest_filter='*Player*:*PlaybackSession*:*RunThread*:*WindowWait*:*ImageWait*:*KeyWait*:*ControlWords*:*WaitWords*:*PlayCommands*:*CommandLineRun*:*HookEventQueue*:*HookRequests*:*Pump*'
}
wine_units() {
  tools/build.sh win32 || return 1
  (
    # shellcheck source=tools/wine-env.sh
    source tools/wine-env.sh
    trap wine_env_teardown EXIT
    wine_env_start_xvfb && wine_env_make_prefix && wine_env_keep_server || exit 1
    wine build/win32/tests/tesmuro_tests.exe --gtest_brief=1 &&
      wine build/win32/tests/tesmuro_win_tests.exe --gtest_brief=1
  )
}
e2e() { E2E_LINUX_PROGRAM="$root/build/native/linux/tesmuro" tools/e2e.sh build/win32; }

step "unit tests (native)" native
step "Linux program (X11, Xvfb)" linux_x11
step "unit tests (ASan+UBSan)" asan
step "playback tests (TSan)" tsan
step "unit tests (Windows, under Wine)" wine_units
step "end-to-end tests (Wine)" e2e

echo
echo "Whole suite: $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed: ${failed[*]}"
  exit 1
fi
echo "Every step passed."
