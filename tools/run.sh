#!/usr/bin/env bash
# Installs what is missing, builds Tesmuro.exe and starts it under Wine.
# On the user's display when there is one; otherwise on an Xvfb display of its
# own, saying so and saving a screenshot of the running program.
# The program lives in build/run/ (its settings file Quorlin.qlset stays beside it).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh win32 >/dev/null
root=$PWD
mkdir -p build/run
cp build/win32/Tesmuro.exe build/run/
[ -f build/win32/Quorlin.chm ] && cp build/win32/Quorlin.chm build/run/

# shellcheck source=tools/wine-env.sh
source tools/wine-env.sh "$root/build/wine/run-prefix"
own_display=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  wine_env_start_xvfb
  own_display=1
  echo "No display found: Tesmuro runs on the Xvfb display $DISPLAY."
fi
cleanup() { [ "$own_display" = 1 ] && wine_env_teardown; return 0; }
trap cleanup EXIT
wine_env_make_prefix
wine_env_keep_server

# Chinese captions and menus render under a Chinese locale.
locales=$(wine_env_zh_locale "$root/build/locale")

cd build/run
LOCPATH=$locales LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine Tesmuro.exe &
app=$!
echo "Tesmuro started (pid $app) from $root/build/run."
if [ "$own_display" = 1 ]; then
  sleep 8
  import -window root "$root/build/run/screenshot.png"
  echo "Screenshot of the running program: $root/build/run/screenshot.png"
  if [ -t 0 ]; then
    echo "Press Ctrl+C to end it."
    wait "$app" || true
  fi
else
  wait "$app" || true
fi
