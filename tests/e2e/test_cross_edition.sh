# Across the editions on one X server: the Linux program `tesmuro` and Tesmuro.exe under Wine
# write the same lines for the same input, so a script made by either plays on the other.
#
# Wine runs on the harness's Xvfb display (its virtual desktop is the whole 1280x1024 screen at
# 0,0), so input injected into the X server with xdotool or XTest reaches both recorders: the
# Linux one through the RECORD extension, the Windows one through Wine's low-level hooks. Input
# that Wine injects itself stays inside Wine, so the check runs one way only: into Tesmuro.exe.
#
# The Linux program comes from the native build that the test command makes before this step
# (build/native/linux/tesmuro); E2E_LINUX_PROGRAM names another.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

CROSS_LINUX_PROGRAM="${E2E_LINUX_PROGRAM:-$E2E_ROOT/build/native/linux/tesmuro}"

# Both editions record with the same settings file: mouse and keys on, no controller, F9 starts
# recording (Tesmuro.exe) and F11 stops it (both), no mouse capture (the logger window must get
# the clicks it waits for).
CROSS_SETTINGS=(RecMouse=1 RecKey=1 "RecordKey=$VK_F9" "StopKey=$VK_F11" ShortCutControl=1)

# A delay line of one edition may differ from the other's by this much (ms): the Windows recorder
# takes the tick count when its hook thread sees an event, the Linux one the server's time stamp;
# on a loaded machine Wine hands an event to the hook up to some 60 ms late (seen in busy runs).
CROSS_DELAY_SLACK=100
# Differences between the time stamps of two key lines may differ by this much (ms).
CROSS_STAMP_SLACK=5

# Fails the test without the Linux program; its settings and state folders are the test's own.
cross_need_linux_program() {
  [ -x "$CROSS_LINUX_PROGRAM" ] ||
    fail "the Linux program is not built: $CROSS_LINUX_PROGRAM (tools/build.sh native, or set E2E_LINUX_PROGRAM)"
  export XDG_CONFIG_HOME="$TEST_DIR/config" XDG_STATE_HOME="$TEST_DIR/state"
}

# cross_lines VAR TEXT: the array VAR holds TEXT's lines, CR LF line ends taken off, without the
# window lines (each system names its own windows: they are compared by the waits' tests). Fails
# the test if a line does not end with CR LF.
cross_lines() {
  local _text="$2"
  [ -n "$_text" ] || fail "no lines"
  [[ "$_text" == *$'\r\n' ]] || fail "the last line does not end with CR LF: $(printf '%q' "${_text: -30}")"
  _text="${_text%$'\r\n'}"
  [[ "${_text//$'\r\n'/}" != *[$'\r\n']* ]] || fail "a line break other than CR LF in $(printf '%q' "$_text")"
  mapfile -t "$1" < <(printf '%s\n' "${_text//$'\r\n'/$'\n'}" | grep -v '^窗口 ')
}

# cross_read_file VAR FILE: the lines of a GBK script file.
cross_read_file() {
  local _utf8
  _utf8=$(iconv -f GBK -t UTF-8 "$2"; printf .) || fail "$2 is not GBK text"
  cross_lines "$1" "${_utf8%.}"
}

# cross_split LINES_VAR ACTIONS_VAR DELAYS_VAR STAMPS_VAR: takes a recording apart (its screen line
# first, then a delay line before each action line). ACTIONS gets the action lines with a key
# line's time stamp T written as "T", DELAYS the delays, STAMPS each key line's T ("" for the
# other lines).
cross_split() {
  local -n _lines=$1 _actions=$2 _delays=$3 _stamps=$4
  _actions=() _delays=() _stamps=()
  local i n=${#_lines[@]}
  [ $((n % 2)) = 1 ] || fail "a screen line and pairs of delay and action lines expected, got $n lines"
  for ((i = 1; i < n; i += 2)); do
    [[ "${_lines[i]}" =~ ^延迟\ (0|[1-9][0-9]*)$ ]] || fail "line $((i + 1)) is not a delay line: ${_lines[i]}"
    _delays+=("${BASH_REMATCH[1]}")
    local action="${_lines[i + 1]}"
    if [[ "$action" =~ ^((系统)?按键(按下|弹起)\ [0-9]+\ [0-9]+\ [0-9]+)\ ([0-9]+)\ ([0-9]+)$ ]]; then
      _actions+=("${BASH_REMATCH[1]} T ${BASH_REMATCH[5]}")
      _stamps+=("${BASH_REMATCH[4]}")
    else
      _actions+=("$action")
      _stamps+=("")
    fi
  done
}

# cross_without_alt_bit ACTIONS_VAR: the key lines' flags without the Alt bit (0x20).
cross_without_alt_bit() {
  local -n _list=$1
  local i
  for ((i = 0; i < ${#_list[@]}; i++)); do
    if [[ "${_list[i]}" =~ ^(.*按键(按下|弹起)\ [0-9]+\ [0-9]+)\ ([0-9]+)(\ T\ [0-9]+)$ ]]; then
      _list[i]="${BASH_REMATCH[1]} $((BASH_REMATCH[3] & ~0x20))${BASH_REMATCH[4]}"
    fi
  done
}

# cross_compare_delays WHAT EXPECTED_DELAYS_VAR ACTUAL_DELAYS_VAR: every delay but the first (the
# time from the start of a recording to its first action, which the two recorders start at
# different moments) within CROSS_DELAY_SLACK.
cross_compare_delays() {
  local what=$1
  local -n _want=$2 _got=$3
  assert_eq "${#_want[@]}" "${#_got[@]}" "$what: number of delay lines"
  local i d
  for ((i = 1; i < ${#_want[@]}; i++)); do
    d=$((_got[i] - _want[i]))
    [ "${d#-}" -le "$CROSS_DELAY_SLACK" ] ||
      fail "$what: delay before action $((i + 1)) is ${_got[i]} ms, expected ${_want[i]} ms (+-$CROSS_DELAY_SLACK)"
  done
  echo "$what: delays ${_want[*]}"$'\n'"         and ${_got[*]}" >&2
}

# cross_compare_stamps WHAT STAMPS_A_VAR STAMPS_B_VAR: the key lines' time stamps T count from
# different origins (the Windows hook's message time, the X server's time), so only the time from
# the first key line to each of the others is compared.
cross_compare_stamps() {
  local what=$1
  local -n _a=$2 _b=$3
  local i first=-1 da db d
  for ((i = 0; i < ${#_a[@]}; i++)); do
    [ -n "${_a[i]}" ] || continue
    if [ "$first" -lt 0 ]; then first=$i; continue; fi
    da=$(( (_a[i] - _a[first]) & 0xFFFFFFFF )) db=$(( (_b[i] - _b[first]) & 0xFFFFFFFF ))
    d=$((da - db))
    [ "${d#-}" -le "$CROSS_STAMP_SLACK" ] ||
      fail "$what: key line $((i + 1)) comes $da ms after the first key line in one recording, $db ms in the other"
  done
  [ "$first" -ge 0 ] || fail "$what: no key lines"
}

# cross_start_linux_record FILE: starts `tesmuro record FILE` with the test's settings and waits
# until it records. Sets LINUX_REC_PID; the test's exit ends it.
cross_start_linux_record() {
  local err="$TEST_DIR/linux-record.err"
  cross_need_linux_program
  "$CROSS_LINUX_PROGRAM" record "$1" --settings "$TEST_DIR/linux.qlset" 2>"$err" &
  LINUX_REC_PID=$!
  trap 'kill "$LINUX_REC_PID" 2>/dev/null' EXIT
  poll 10000 grep -q "开始录制到" "$err"
}

# cross_wait_linux_record: waits for tesmuro record to end (by the stop key of the settings): the
# file is written, exit code 0.
cross_wait_linux_record() {
  local status=0
  poll 10000 cross_linux_record_ended
  wait "$LINUX_REC_PID" || status=$?
  trap - EXIT
  cat "$TEST_DIR/linux-record.err" >&2
  assert_eq 0 "$status" "exit code of tesmuro record"
}

cross_linux_record_ended() { ! kill -0 "$LINUX_REC_PID" 2>/dev/null; }

# Tesmuro.exe's script ends with the stop key's press.
cross_windows_record_ended() {
  local t
  get_script_text t
  [[ "$t" =~ 按键按下\ $VK_F11\ [0-9]+\ [0-9]+\ [0-9]+\ 0$'\r\n'$ ]]
}

# cross_key XDOTOOL_KEYS LOG_REGEX: a key stroke; waits for the logger window's line.
cross_key() {
  xdo key "$1"
  wait_input_log "$2"
}

test_both_recorders_write_the_same_lines_for_the_same_input() {
  write_named_settings "$TEST_DIR/linux.qlset" "${CROSS_SETTINGS[@]}"
  start_tesmuro "${CROSS_SETTINGS[@]}"
  # The logger window keeps the focus throughout: the keys go there, not to Tesmuro's buttons.
  # Every move stays inside it (client area 600x230 at 20,20): a window appearing under the
  # pointer or the pointer crossing into another window makes Wine add a move of its own, which
  # no X client saw.
  start_input_log
  move_pointer 60 50
  # Tesmuro.exe records first, from the Record hot key on: its recording starts with the screen
  # line and F9's release, which tesmuro, started after it, does not see.
  xdo key F9
  poll 5000 rec_has_lines 3
  cross_start_linux_record "$TEST_DIR/linux.crec"

  move_pointer 100 60
  move_pointer 400 120
  move_pointer 250 200
  xdo click 1
  wait_input_log "lup 250,200"
  xdo click 3
  wait_input_log "rup 250,200"
  sleep 0.2
  xdo click 2
  wait_input_log "mup 250,200"
  xdo click 4
  wait_input_log "wheel 120 250,200"
  xdo click 5
  wait_input_log "wheel -120 250,200"
  xdo click 7
  wait_input_log "hwheel 120 [0-9]+,[0-9]+"  # Wine gives this one client coordinates
  xdo click 8
  wait_input_log "x1up 250,200"
  xdo click 9
  wait_input_log "x2up 250,200"
  move_pointer 500 90
  cross_key a "keyup 65"
  sleep 0.3
  cross_key shift+b "keyup 16"
  cross_key 1 "keyup 49"
  cross_key Return "keyup 13"
  cross_key space "keyup 32"
  cross_key Left "keyup 37"
  cross_key Delete "keyup 46"
  cross_key KP_Enter "keyup 13"
  cross_key Control_R "keyup 17"  # xdotool presses Control_L with it: both see two keys
  cross_key F5 "keyup 116"
  # Alt+X with X released while Alt is still held: system keys, and the Alt bit in the flags.
  xdo keydown alt
  cross_key x "syskeyup 88"
  xdo keyup alt
  wait_input_log "(sys)?keyup 18"
  xdo keydown c
  sleep 0.2
  xdo keyup c
  wait_input_log "keyup 67"
  move_pointer 520 100
  # The stop key ends both recordings; both record its press (and not its release).
  xdo key F11
  cross_wait_linux_record
  poll 5000 cross_windows_record_ended

  local text
  get_script_text text
  local -a win linux
  cross_lines win "$text"
  cross_read_file linux "$TEST_DIR/linux.crec"
  printf '%s\n' "${win[@]}" >"$TEST_DIR/windows-lines.txt"
  printf '%s\n' "${linux[@]}" >"$TEST_DIR/linux-lines.txt"

  # Both start with the screen they were made on: the whole display, and the desktop's DPI
  # setting (Wine's 96; on X the Xft.dpi resource, which the test server does not set: 96).
  assert_eq "屏幕 0,0,1280,1024,96" "${win[0]}" "screen line of Tesmuro.exe"
  assert_eq "${win[0]}" "${linux[0]}" "screen line of tesmuro"

  local -a win_actions win_delays win_stamps linux_actions linux_delays linux_stamps
  cross_split win win_actions win_delays win_stamps
  assert_match "^按键弹起 $VK_F9 [1-9][0-9]* 128 T 0\$" "${win_actions[0]}" "first action of Tesmuro.exe"
  win_actions=("${win_actions[@]:1}") win_delays=("${win_delays[@]:1}") win_stamps=("${win_stamps[@]:1}")
  cross_split linux linux_actions linux_delays linux_stamps
  # tesmuro writes the Alt bit (0x20) of the flags as Windows's keyboard hook reports it while
  # Alt is down; Wine's hook leaves that bit out, so the two are compared without it.
  local -a alt_lines=("系统按键按下 164 56 32 T 0" "系统按键按下 88 45 32 T 0" "系统按键弹起 88 45 160 T 0")
  local line
  for line in "${alt_lines[@]}"; do
    grep -qxF -- "$line" <<<"$(printf '%s\n' "${linux_actions[@]}")" || fail "tesmuro did not write '$line' for Alt+X"
  done
  cross_without_alt_bit win_actions
  cross_without_alt_bit linux_actions
  assert_eq "$(printf '%s\n' "${win_actions[@]}")" "$(printf '%s\n' "${linux_actions[@]}")" \
    "action lines of Tesmuro.exe (expected) and tesmuro (actual), without the Alt bit"
  cross_compare_delays "Tesmuro.exe and tesmuro" win_delays linux_delays
  cross_compare_stamps "Tesmuro.exe and tesmuro" win_stamps linux_stamps
}

# What tesmuro plays, as Tesmuro.exe records it: the screen line as Tesmuro.exe writes it on this
# display, then every kind of action line the X server can carry (the keys with their scan codes
# and flags as Windows's keyboard hook reports them; their time stamps 0).
CROSS_PLAYED=$'屏幕 0,0,1280,1024,96
延迟 200
移动 100,60
延迟 150
移动 400,120
延迟 150
移动 250,200
延迟 100
左键按下
延迟 50
左键释放
延迟 100
右键按下
延迟 50
右键释放
延迟 120
中键按下
延迟 50
中键释放
延迟 100
鼠标滚轮 120 0 0
延迟 100
鼠标滚轮 -120 0 0
延迟 100
水平滚轮 120 0 0
延迟 100
后退键按下
延迟 50
后退键释放
延迟 100
前进键按下
延迟 50
前进键释放
延迟 100
移动 500,90
延迟 250
按键按下 65 30 0 0 0
延迟 50
按键弹起 65 30 128 0 0
延迟 100
按键按下 160 42 0 0 0
延迟 50
按键按下 66 48 0 0 0
延迟 50
按键弹起 66 48 128 0 0
延迟 50
按键弹起 160 42 128 0 0
延迟 100
按键按下 49 2 0 0 0
延迟 50
按键弹起 49 2 128 0 0
延迟 100
按键按下 37 75 1 0 0
延迟 50
按键弹起 37 75 129 0 0
延迟 100
按键按下 46 83 1 0 0
延迟 50
按键弹起 46 83 129 0 0
延迟 100
按键按下 13 28 1 0 0
延迟 50
按键弹起 13 28 129 0 0
延迟 100
按键按下 163 29 1 0 0
延迟 50
按键弹起 163 29 129 0 0
延迟 100
按键按下 116 63 0 0 0
延迟 50
按键弹起 116 63 128 0 0
延迟 100
系统按键按下 164 56 32 0 0
延迟 50
系统按键按下 88 45 32 0 0
延迟 50
系统按键弹起 88 45 160 0 0
延迟 50
按键弹起 164 56 128 0 0
延迟 100
移动 520,100'

# Tesmuro.exe's script ends with the played script's last line.
cross_windows_got_last_played_line() {
  local t
  get_script_text t
  [[ "$t" == *$'\r\n'"${CROSS_PLAYED##*$'\n'}"$'\r\n' ]]
}

test_tesmuro_exe_records_what_tesmuro_plays_as_the_script_s_own_lines() {
  cross_need_linux_program
  write_named_settings "$TEST_DIR/linux.qlset" "${CROSS_SETTINGS[@]}"
  printf '%s\n' "$CROSS_PLAYED" | gbk_script "$TEST_DIR/played.crec"
  start_tesmuro "${CROSS_SETTINGS[@]}"
  start_input_log
  move_pointer 60 50
  xdo key F9
  poll 5000 rec_has_lines 3

  local status=0
  timeout 60 "$CROSS_LINUX_PROGRAM" play "$TEST_DIR/played.crec" --settings "$TEST_DIR/linux.qlset" \
    </dev/null >"$TEST_DIR/linux-play.out" 2>&1 || status=$?
  cat "$TEST_DIR/linux-play.out" >&2
  assert_eq 0 "$status" "exit code of tesmuro play"
  poll 10000 cross_windows_got_last_played_line
  drv click "${MAIN[@]}" --id 208  # Stop (a posted click: no X input)

  local text
  get_script_text text
  local -a played recorded
  cross_lines played "${CROSS_PLAYED//$'\n'/$'\r\n'}"$'\r\n'
  cross_lines recorded "$text"
  printf '%s\n' "${recorded[@]}" >"$TEST_DIR/windows-lines.txt"
  assert_eq "${played[0]}" "${recorded[0]}" "screen line"

  local -a want_actions want_delays want_stamps got_actions got_delays got_stamps
  cross_split played want_actions want_delays want_stamps
  cross_split recorded got_actions got_delays got_stamps
  assert_match "^按键弹起 $VK_F9 [1-9][0-9]* 128 T 0\$" "${got_actions[0]}" "first action of Tesmuro.exe"
  got_actions=("${got_actions[@]:1}") got_delays=("${got_delays[@]:1}") got_stamps=("${got_stamps[@]:1}")
  # A recorded key line has the time of the key stroke where the script has 0, and Wine's
  # keyboard hook leaves out the Alt bit.
  cross_without_alt_bit want_actions
  cross_without_alt_bit got_actions
  assert_eq "$(printf '%s\n' "${want_actions[@]}")" "$(printf '%s\n' "${got_actions[@]}")" \
    "action lines played by tesmuro (expected) and recorded by Tesmuro.exe (actual), without the Alt bit"
  cross_compare_delays "played and recorded" want_delays got_delays
  # The recorded time stamps follow the played delays.
  local i first=-1 sum=0 d
  for ((i = 0; i < ${#got_stamps[@]}; i++)); do
    [ "$first" -ge 0 ] && sum=$((sum + want_delays[i]))
    [ -n "${got_stamps[i]}" ] || continue
    if [ "$first" -lt 0 ]; then first=$i sum=0; continue; fi
    d=$(( ((got_stamps[i] - got_stamps[first]) & 0xFFFFFFFF) - sum ))
    [ "${d#-}" -le "$CROSS_DELAY_SLACK" ] ||
      fail "key line $((i + 1)) was recorded $((d + sum)) ms after the first key line; the script plays it $sum ms after"
  done
}
