# End-to-end harness library, sourced by run.sh (and through it by every test file).
#
# One run: an Xvfb display and a Wine prefix of its own (copied from a template prefix kept in the
# build folder), shared by every test of the run and removed at its end.
# One test: a fresh folder (work/<test>) with its own copy of Tesmuro.exe; the Windows processes it
# starts are ended by pid when it finishes; on failure its files, screenshots and a list of the
# windows are kept under build/e2e-artifacts/<test>/.
#
# Test files define functions named test_*; each runs in a subshell with `set -eE -o pipefail`, so
# a failing command or assertion ends the test.

# shellcheck disable=SC2034  # the E2E_* and APP_* variables are for the test files
E2E_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
E2E_BUILD="${E2E_BUILD:-$E2E_ROOT/build/win32}"
E2E_ARTIFACTS="${E2E_ARTIFACTS:-$E2E_ROOT/build/e2e-artifacts}"
E2E_TOOLS="$E2E_BUILD/tests/e2e"
E2E_DRIVER="$E2E_TOOLS/tesmuro_driver.exe"
E2E_FIXTURE="$E2E_TOOLS/tesmuro_e2e_fixture.exe"
E2E_APP="$E2E_BUILD/Tesmuro.exe"
E2E_TEMPLATE="$E2E_BUILD/e2e/template-prefix"
E2E_LOCALES="$E2E_BUILD/e2e/locale"
E2E_DRV_TIMEOUT=120  # outer guard (s) around every driver call; the driver has its own deadlines

# Settings file contents for a start without the "cannot open" message: recorders on, all else 0.
E2E_DEFAULT_SETTINGS=(1 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "" 0 0 0 1 1)

e2e_now_ms() { date +%s%3N; }

# ---- the run --------------------------------------------------------------------------------

e2e_setup_run() {
  E2E_RUN_DIR="$E2E_BUILD/e2e/run-$$"
  # Folders of runs that were killed before their teardown (their shell is gone): ~600 MB each.
  local old
  for old in "$E2E_BUILD"/e2e/run-*; do
    [ -d "$old" ] && ! kill -0 "${old##*-}" 2>/dev/null && rm -rf "$old"
  done
  rm -rf "$E2E_RUN_DIR"
  mkdir -p "$E2E_RUN_DIR/work" "$E2E_ARTIFACTS"
  : >"$E2E_RUN_DIR/started-pids"
  : >"$E2E_RUN_DIR/timings"
  export E2E_RUN_DIR
  # shellcheck source=tools/wine-env.sh
  source "$E2E_ROOT/tools/wine-env.sh" "$E2E_RUN_DIR/prefix"
  export LANG=C.UTF-8
  unset LC_ALL LANGUAGE
  wine_env_start_xvfb || return 1
  wine_env_clone_prefix "$E2E_TEMPLATE" || return 1
  wine_env_keep_server
  # The first program of a prefix creates the virtual desktop; do it before any test is timed.
  _e2e_wine "$E2E_DRIVER" list >/dev/null 2>&1
}

e2e_teardown_run() {
  wine_env_teardown
  if [ -n "${E2E_RUN_DIR:-}" ] && [ -z "${E2E_KEEP_RUN:-}" ]; then rm -rf "$E2E_RUN_DIR"; fi
}

# Median of the launch-to-main-window times recorded by wait_main_window, in ms ("" if none).
e2e_launch_median() {
  sort -n "$E2E_RUN_DIR/timings" | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'
}
e2e_launch_count() { wc -l <"$E2E_RUN_DIR/timings" | tr -d ' '; }

# figure TEXT: a measured figure, printed with the run's summary (a passing test's output is not shown).
figure() {
  echo "$*" >&2
  echo "$*" >>"$E2E_RUN_DIR/figures"
}

# ---- one test -------------------------------------------------------------------------------

# Sets TEST_NAME, TEST_DIR (fresh) and TEST_ART; exported for the test's subshell.
e2e_begin_test() {
  export TEST_NAME="$1"
  export TEST_DIR="$E2E_RUN_DIR/work/$1"
  export TEST_ART="$E2E_ARTIFACTS/$1"
  rm -rf "$TEST_DIR" "$TEST_ART"
  mkdir -p "$TEST_DIR/shots"
  : >"$TEST_DIR/.pids"
  # Recovery files that an earlier test's killed program left would be offered at the next start.
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Tesmuro
}

# Ends what the test started and, if it failed ($1 != 0), keeps its evidence.
e2e_end_test() {
  local status="$1" pid
  if [ "$status" != 0 ]; then
    mkdir -p "$TEST_ART"
    _e2e_wine "$E2E_DRIVER" list >"$TEST_ART/windows.txt" 2>&1
    timeout 30 import -window root "$TEST_ART/screen-at-failure.png" 2>/dev/null
  fi
  while read -r pid; do
    [ -n "$pid" ] && _e2e_wine "$E2E_DRIVER" kill "$pid" --timeout 5000 >/dev/null 2>&1
  done <"$TEST_DIR/.pids"
  if [ "$status" != 0 ]; then
    cp -a "$TEST_DIR/." "$TEST_ART/"
    rm -f "$TEST_ART/.pids"
    find "$TEST_ART" -name Tesmuro.exe -delete  # the build has it; keep only what the test made
  fi
}

# ---- running Windows programs ---------------------------------------------------------------

_e2e_wine() { timeout -k 5 "$E2E_DRV_TIMEOUT" wine "$@"; }

# The driver: drv COMMAND [OPTIONS] [ARGS]; see `drv help`. The call goes to the test's log.
drv() {
  echo "+ drv $*" >&2
  case "$1" in
    menu | menu-invoke)
      # Reading another process's menu injects a probe library; now and then Wine never
      # completes the cross-process call behind that, and the driver waits for ever. Such an
      # attempt is cut short and made again (nothing has been invoked yet when it hangs).
      local attempt status
      for attempt in 1 2 3; do
        status=0
        timeout -k 5 30 wine "$E2E_DRIVER" "$@" || status=$?
        [ "$status" != 124 ] && return "$status"
        echo "+ drv $1: attempt $attempt hung in Wine's cross-process call; again" >&2
      done
      return 124
      ;;
  esac
  _e2e_wine "$E2E_DRIVER" "$@"
}

# Windows path of an absolute Unix path (drive Z: is the Unix root).
winpath() { local p="${1//\//\\}"; printf 'Z:%s' "$p"; }

# Copies Tesmuro.exe into the test's app folder (fresh) and prints that folder.
app_folder() {
  local dir="$TEST_DIR/app"
  [ -f "$E2E_APP" ] || fail "Tesmuro.exe is not built: $E2E_APP"
  mkdir -p "$dir"
  cp "$E2E_APP" "$dir/Tesmuro.exe"
  printf '%s' "$dir"
}

# Writes a settings file: one value a line, each line ending with CR LF.
write_settings() {
  local file="$1"; shift
  : >"$file"
  local v
  for v in "$@"; do printf '%s\r\n' "$v" >>"$file"; done
}

# start_program [--zh] EXE [ARGS...]: starts a program with its folder as working folder, in the
# C.UTF-8 locale or (--zh) in zh_CN.UTF-8; prints its pid and records it for the test's end.
start_program() {
  local zh=0
  [ "$1" = --zh ] && { zh=1; shift; }
  local exe="$1"; shift
  local dir pid
  dir="$(dirname "$exe")"
  if [ "$zh" = 1 ]; then
    pid=$(LOCPATH="$(zh_locale)" LANG=zh_CN.UTF-8 drv start --cwd "$(winpath "$dir")" "$(winpath "$exe")" "$@")
  else
    pid=$(drv start --cwd "$(winpath "$dir")" "$(winpath "$exe")" "$@")
  fi
  [ -n "$pid" ] || fail "could not start $exe"
  echo "$pid" >>"$TEST_DIR/.pids"
  echo "started $exe: pid $pid" >&2
  printf '%s' "$pid"
}

# start_app [--zh] [DIR]: starts DIR/Tesmuro.exe (default: a fresh app folder) and sets APP_PID
# and APP_START_MS. Call it directly, not in $(...), so the variables stay set.
start_app() {
  local zh=()
  [ "${1:-}" = --zh ] && { zh=(--zh); shift; }
  local dir="${1:-}"
  [ -n "$dir" ] || dir="$(app_folder)"
  APP_DIR="$dir"
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(start_program "${zh[@]}" "$dir/Tesmuro.exe")
}

# Waits for the visible main window of APP_PID and prints its handle; records the launch time.
wait_main_window() {
  local hwnd
  hwnd=$(drv wait-window --pid "$APP_PID" --class TFrmMain --visible --timeout "${1:-15000}")
  echo $(( $(e2e_now_ms) - APP_START_MS )) >>"$E2E_RUN_DIR/timings"
  printf '%s' "$hwnd"
}

# Waits for APP_PID to end and prints its exit code.
app_exit_code() { drv wait-exit "$APP_PID" "${1:-10000}"; }

# The zh_CN.UTF-8 locale folder for LOCPATH (built once per build folder).
zh_locale() { wine_env_zh_locale "$E2E_LOCALES"; }

# xdotool on the run's display: physical input that reaches low-level hooks.
xdo() { echo "+ xdotool $*" >&2; timeout 30 xdotool "$@"; }

# real_click [--at DX DY] SELECTION...: a physical left click on a window, in its middle or DX, DY
# from its top-left corner (the pointer rests there a moment first, as a user's would).
real_click() {
  local dx="" dy="" geometry w h x y
  [ "$1" = --at ] && { dx=$2; dy=$3; shift 3; }
  geometry=$(drv info "$@" --field window)
  [[ "$geometry" =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]] || fail "no geometry for $*: $geometry"
  w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]} x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]}
  xdo mousemove $((x + ${dx:-$((w / 2))})) $((y + ${dy:-$((h / 2))}))
  sleep 0.1
  xdo click 1
}

# wait_focus SELECTION...: waits until the window has the keyboard focus in the window in front
# (under Wine a click may first only activate a dialog).
wait_focus() { wait_output 1 "the keyboard focus in $*" drv info "$@" --field focused; }

# wait_output EXPECTED WHAT COMMAND...: polls (10 s) until the command prints EXPECTED.
wait_output() {
  local expected=$1 what=$2 got="" i
  shift 2
  for i in $(seq 1 200); do
    got=$("$@" 2>/dev/null) || true
    [ "$got" = "$expected" ] && return 0
    sleep 0.05
  done
  fail "$what: expected '$expected', last seen '$got'"
}

# ---- screenshots ----------------------------------------------------------------------------

# shot NAME: the whole screen into the test's folder (kept on failure).
# shot --keep NAME [GEOMETRY]: into build/e2e-artifacts/NAME.png whatever the outcome, cropped to
# GEOMETRY (WxH+X+Y) when given. Prints the file's path.
shot() {
  local keep=0
  [ "$1" = --keep ] && { keep=1; shift; }
  local name="$1" geometry="${2:-}" file
  if [ "$keep" = 1 ]; then file="$E2E_ARTIFACTS/$name.png"; else file="$TEST_DIR/shots/$name.png"; fi
  mkdir -p "$(dirname "$file")"
  if [ -n "$geometry" ]; then
    timeout 30 import -window root -crop "$geometry" +repage "$file"
  else
    timeout 30 import -window root "$file"
  fi || fail "screenshot $name failed"
  echo "screenshot: $file" >&2
  printf '%s' "$file"
}

# ---- assertions -----------------------------------------------------------------------------

# ERR trap of a test: names the failed command and where it was called from, once (the trap runs
# again in every function the failure passes through).
e2e_on_error() {
  local status="$1" command="$2" line="$3" where="" i
  [ -n "${_E2E_ERROR_SHOWN:-}" ] && return 0
  _E2E_ERROR_SHOWN=1
  where="${BASH_SOURCE[1]##*/}:$line"
  for ((i = 2; i < ${#BASH_SOURCE[@]}; i++)); do
    [ "${FUNCNAME[i]:-}" = main ] && break
    where+=" < ${BASH_SOURCE[i]##*/}:${BASH_LINENO[i - 1]}"
  done
  echo "FAILED: status $status from: $command ($where)" >&2
}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# assert_eq EXPECTED ACTUAL [WHAT]
assert_eq() {
  [ "$1" == "$2" ] && return 0
  fail "${3:-values differ}"$'\n'"  expected: $(printf '%q' "$1")"$'\n'"  actual:   $(printf '%q' "$2")"
}

# assert_ne UNEXPECTED ACTUAL [WHAT]
assert_ne() {
  [ "$1" != "$2" ] && return 0
  fail "${3:-value should differ}: both are $(printf '%q' "$1")"
}

# assert_match REGEX ACTUAL [WHAT]
assert_match() {
  [[ "$2" =~ $1 ]] && return 0
  fail "${3:-no match}"$'\n'"  pattern: $1"$'\n'"  actual:  $(printf '%q' "$2")"
}

# assert_status EXPECTED_STATUS COMMAND [ARGS...]: runs the command (its stdout is dropped).
assert_status() {
  local expected="$1"; shift
  local actual=0
  "$@" >/dev/null || actual=$?
  [ "$actual" = "$expected" ] && return 0
  fail "exit status of '$*' is $actual, expected $expected"
}

assert_file_absent() { [ ! -e "$1" ] || fail "${2:-file should not exist}: $1"; }
assert_same_file() { cmp -s "$1" "$2" || fail "${3:-files differ}: $1 $2"; }
