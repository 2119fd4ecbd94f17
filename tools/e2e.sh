#!/usr/bin/env bash
# Runs the end-to-end tests of a Windows build under Wine. Builds nothing.
#
#   tools/e2e.sh [BUILD_DIR] [PATTERN...]
#
# BUILD_DIR: the Windows build folder (default build/win32) with Tesmuro.exe and the driver in
# tests/e2e/. PATTERNs select tests (see tests/e2e/run.sh). Screenshots and the files of failed
# tests go to build/e2e-artifacts/. With TESMURO_BUSY=1 the other cores are kept busy meanwhile.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/win32"
if [ $# -gt 0 ] && [ -d "$1" ]; then build="$1"; shift; fi

missing=()
for cmd in wine wineserver Xvfb xdpyinfo xdotool import localedef; do
  command -v "$cmd" >/dev/null 2>&1 || missing+=("$cmd")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "e2e: missing ${missing[*]}; run tools/install-deps.sh" >&2
  exit 1
fi
# TESMURO_BUSY=N (1: all cores but one) keeps N cores busy with loops of the shell's own for the
# whole run, as on a shared machine; they end with the run.
busy=()
stop_busy() { local p; for p in "${busy[@]}"; do kill "$p" 2>/dev/null; done; }
if [ -n "${TESMURO_BUSY:-}" ] && [ "${TESMURO_BUSY}" != 0 ]; then
  n=$TESMURO_BUSY
  if [ "$n" = 1 ]; then n=$(( $(nproc) > 1 ? $(nproc) - 1 : 1 )); fi
  trap stop_busy EXIT
  trap 'exit 130' INT TERM
  for ((i = 0; i < n; i++)); do
    ( trap - EXIT; while :; do :; done ) &
    busy+=($!)
  done
  echo "e2e: $n busy loop(s): ${busy[*]}" >&2
fi
"$root/tests/e2e/run.sh" -b "$build" "$@"
