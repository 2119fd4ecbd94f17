#!/usr/bin/env bash
# Runs the end-to-end tests of a Windows build under Wine. Builds nothing.
#
#   tools/e2e.sh [BUILD_DIR] [PATTERN...]
#
# BUILD_DIR: the Windows build folder (default build/win32) with Tesmuro.exe and the driver in
# tests/e2e/. PATTERNs select tests (see tests/e2e/run.sh). Screenshots and the files of failed
# tests go to build/e2e-artifacts/.
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
exec "$root/tests/e2e/run.sh" -b "$build" "$@"
