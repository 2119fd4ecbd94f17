# Wine environment for Tesmuro's build, run and test steps. Source it; do not execute it.
#
#   source tools/wine-env.sh [PREFIX_DIR]
#
# (Sourced inside a function without arguments, it sees that function's arguments: pass the
# prefix explicitly there.)
#
# Exports WINEPREFIX (PREFIX_DIR, default <repo>/build/wine/prefix), WINEARCH=win32, WINEDEBUG=-all,
# WINEDLLOVERRIDES="mscoree,mshtml=" and, once a display is started, DISPLAY. Functions:
#
#   wine_env_start_xvfb     start Xvfb on a free display (1280x1024x24), export DISPLAY,
#                           wait until xdpyinfo answers; sets WINE_ENV_XVFB_PID
#   wine_env_make_prefix    create the prefix if it does not exist (32-bit, virtual desktop
#                           "Default" 1280x1024, no crash dialog)
#   wine_env_clone_prefix T create the prefix as a copy of the template prefix T, making T first
#                           if needed (a copy takes ~1.5 s, a new prefix ~10 s)
#   wine_env_keep_server    start a persistent wineserver for the prefix (fast launches)
#   wine_env_zh_locale DIR  build the zh_CN.UTF-8 locale into DIR once; prints the LOCPATH to use
#   wine_env_teardown       stop this prefix's wineserver and the Xvfb started here, by PID
#
# Timings measured on the build machines (2 cores, wine 8.0; idle / loaded with other builds):
#   Xvfb ready ................................ 0.2 s
#   new win32 prefix (wineboot -i + registry) . 10 s (590 MB, mostly system32)
#   copy of a template prefix (cp -a) ......... 1.4 s / 3.8 s
#   first launch after wineserver -p (desktop)  0.5 s / 1.5 s
#   later launches (wine cmd /c exit) ......... 0.15 s / 0.2 s
#   wineserver -k + Xvfb end .................. < 0.1 s

WINE_ENV_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

export WINEPREFIX="${1:-$WINE_ENV_ROOT/build/wine/prefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE_ENV_XVFB_PID=""
WINE_ENV_XVFB_LOG=""

# Logs a line with the seconds since the previous mark, when WINE_ENV_VERBOSE is set.
wine_env_log() {
  [ -n "${WINE_ENV_VERBOSE:-}" ] && echo "[wine-env] $*" >&2
  return 0
}

# Milliseconds since the epoch.
wine_env_now_ms() { date +%s%3N; }

# Starts Xvfb on a display that no one uses (Xvfb picks it with -displayfd) and waits until it
# answers. Exports DISPLAY. Fails after 20 s.
wine_env_start_xvfb() {
  local t0 fdfile n=""
  t0=$(wine_env_now_ms)
  fdfile="$(mktemp "${TMPDIR:-/tmp}/tesmuro-xvfb.XXXXXX")"
  WINE_ENV_XVFB_LOG="$fdfile.log"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fdfile" >"$WINE_ENV_XVFB_LOG" 2>&1 &
  WINE_ENV_XVFB_PID=$!
  local deadline=$(( t0 + 20000 ))
  while [ "$(wine_env_now_ms)" -lt "$deadline" ]; do
    n="$(tr -dc 0-9 <"$fdfile")"
    [ -n "$n" ] && break
    if ! kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null; then
      echo "wine-env: Xvfb exited; its log:" >&2; cat "$WINE_ENV_XVFB_LOG" >&2
      rm -f "$fdfile"; WINE_ENV_XVFB_PID=""; return 1
    fi
    sleep 0.02
  done
  rm -f "$fdfile"
  if [ -z "$n" ]; then echo "wine-env: Xvfb gave no display number within 20 s" >&2; return 1; fi
  export DISPLAY=":$n"
  while ! xdpyinfo >/dev/null 2>&1; do
    if [ "$(wine_env_now_ms)" -ge "$deadline" ]; then
      echo "wine-env: Xvfb on $DISPLAY does not answer" >&2; return 1
    fi
    sleep 0.02
  done
  wine_env_log "Xvfb pid $WINE_ENV_XVFB_PID on $DISPLAY ready in $(( $(wine_env_now_ms) - t0 )) ms"
}

# Creates the prefix unless it exists already. A prefix is complete when its marker file exists,
# so an interrupted creation is redone.
wine_env_make_prefix() {
  local t0 marker="$WINEPREFIX/.tesmuro-prefix"
  [ -f "$marker" ] && return 0
  t0=$(wine_env_now_ms)
  # Remove what an interrupted creation left, and only that.
  if [ -e "$WINEPREFIX/system.reg" ] || [ -d "$WINEPREFIX/drive_c" ]; then rm -rf "$WINEPREFIX"; fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || { echo "wine-env: wineboot -i failed for $WINEPREFIX" >&2; return 1; }
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1 &&
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f >/dev/null 2>&1 &&
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    { echo "wine-env: could not write the registry of $WINEPREFIX" >&2; return 1; }
  # The desktop that wineboot made is not virtual; the next server makes the configured one.
  wineserver -k 2>/dev/null
  timeout 20 wineserver -w 2>/dev/null
  touch "$marker"
  wine_env_log "prefix $WINEPREFIX made in $(( $(wine_env_now_ms) - t0 )) ms"
}

# Makes WINEPREFIX a copy of the template prefix $1, which is made first if it does not exist
# (under a lock, so parallel runs make it once). The template has no processes of its own.
wine_env_clone_prefix() {
  local template="$1" t0
  [ -f "$WINEPREFIX/.tesmuro-prefix" ] && return 0
  mkdir -p "$(dirname "$template")"
  (
    flock -w 300 9 || { echo "wine-env: waited 300 s for the template lock" >&2; exit 1; }
    WINEPREFIX="$template" wine_env_make_prefix
  ) 9>"$template.lock" || return 1
  t0=$(wine_env_now_ms)
  if [ -e "$WINEPREFIX/system.reg" ] || [ -d "$WINEPREFIX/drive_c" ]; then rm -rf "$WINEPREFIX"; fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  cp -a "$template" "$WINEPREFIX" || { echo "wine-env: cannot copy $template" >&2; return 1; }
  wine_env_log "prefix $WINEPREFIX copied in $(( $(wine_env_now_ms) - t0 )) ms"
}

# Keeps this prefix's wineserver running until wine_env_teardown.
wine_env_keep_server() {
  wineserver -p 2>/dev/null
}

# Builds the zh_CN.UTF-8 locale into DIR (once) and prints DIR, for LOCPATH.
wine_env_zh_locale() {
  local dir="$1"
  if [ ! -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$dir"
    localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" >/dev/null 2>&1 ||
      [ -f "$dir/zh_CN.UTF-8/LC_CTYPE" ] ||
      { echo "wine-env: localedef zh_CN.UTF-8 failed" >&2; return 1; }
  fi
  echo "$dir"
}

# Ends what this shell started: every process of the prefix (wineserver -k acts on WINEPREFIX
# only), then the Xvfb by its PID.
wine_env_teardown() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null
    timeout 20 wineserver -w 2>/dev/null
  fi
  if [ -n "$WINE_ENV_XVFB_PID" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null
    WINE_ENV_XVFB_PID=""
  fi
  [ -n "$WINE_ENV_XVFB_LOG" ] && rm -f "$WINE_ENV_XVFB_LOG"
  return 0
}
