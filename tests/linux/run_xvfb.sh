#!/usr/bin/env bash
# Runs a command on an Xvfb display of its own: a free display number chosen
# by the server (-displayfd), ended (by its PID) when the command ends.
#   tests/linux/run_xvfb.sh COMMAND [ARGS...]
set -u
dir=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkfifo "$dir/fd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/fd" 2>"$dir/xvfb.log" &
xvfb_pid=$!
read -r -t 20 number <"$dir/fd" || { echo "Xvfb did not start:"; cat "$dir/xvfb.log"; exit 1; }
export DISPLAY=":$number"
export XVFB_PID=$xvfb_pid
unset WAYLAND_DISPLAY
"$@"
