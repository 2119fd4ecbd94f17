# Game-controller recording and the controller reports, against the winmm.dll test double
# (tests/e2e/winmm_double): Tesmuro takes winmm.dll from the system folder only, so the double is
# put in the test prefix's system32 (the system's own winmm.dll kept there under another name),
# where it serves a virtual controller (id 0) whose stick and buttons tesmuro_joypad.exe sets. The
# double's capture posts MM_JOY1MOVE / MM_JOY1BUTTONDOWN to the window that captured it, as the
# system's does. Only the processes started with WINEDLLOVERRIDES="winmm=n,b" load the double; the
# others of the prefix keep Wine's own winmm.dll.
#
# Waiting: `pad set ... --sync` returns once the capture has posted the new state, so its messages
# are in the main window's queue; the queue is first in, first out, so a later line in the script
# box shows that every earlier message was handled.

JOY_DIR="$E2E_TOOLS/winmm_double"
# RecJoy on (line 3); mouse, keyboard and message recorders off; no hot keys.
JOY_SETTINGS=(0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "" 0 0 0 0 0)
NO_JOY_SETTINGS=(0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "" 0 0 0 0 0)
JOY_MEMO_ID=100
JOY_RECORD_ID=205
JOY_SAVE_ID=203
JOY_STOP_ID=208
BM_CLICK=245
JOYERR_PARMS=165
JOYERR_NOCANDO=166
JOYERR_UNPLUGGED=167

JOY_REPORT_1=$'摇杆信息1
摇杆1\r
摇杆驱动程序名:Tesmuro Virtual Pad
厂商编号,产品编号:65534,32769
最小,最大X轴:0,65535
最小,最大Y轴:0,65535
最小,最大Z轴:0,255
最小,最大第4轴:1,1023
最小,最大第5轴:2,4095
最小,最大第6轴:0,0
最大，当前按钮数量:32,4
最小,最大采样率:10,1000
摇杆最大,当前轴数:6,5
注册键名:TesmuroVirtualPad
OEM名:Tesmuro OEM é'

JOY_REPORT_2=$'摇杆信息2
摇杆2\r
摇杆驱动程序名:
厂商编号,产品编号:0,0
最小,最大X轴:0,0
最小,最大Y轴:0,0
最小,最大Z轴:0,0
最小,最大第4轴:0,0
最小,最大第5轴:0,0
最小,最大第6轴:0,0
最大，当前按钮数量:0,0
最小,最大采样率:0,0
摇杆最大,当前轴数:0,0
注册键名:
OEM名:'

# The control tool of the double; its commands are listed at the top of joypad.cpp.
pad() {
  echo "+ pad $*" >&2
  _e2e_wine "$JOY_DIR/tesmuro_joypad.exe" "$@"
}

# pad_field NAME: one value of `pad status`.
pad_field() {
  local line
  line=$(pad status | grep "^$1=") || fail "pad status has no $1"
  printf '%s' "${line#*=}"
}

# install_pad_double: puts the double in the prefix's system folder as winmm.dll, keeping the
# system's own winmm.dll there as tesmuro-real-winmm.dll (vpad::kRealWinmm) for the functions the
# double hands on. The prefix is the run's: the first call keeps the real DLL, every call puts in
# the double as built.
install_pad_double() {
  [ -f "$JOY_DIR/winmm.dll" ] && [ -f "$JOY_DIR/tesmuro_joypad.exe" ] ||
    fail "the winmm.dll test double is not built in $JOY_DIR"
  local system="$WINEPREFIX/drive_c/windows/system32"
  [ -f "$system/tesmuro-real-winmm.dll" ] || cp "$system/winmm.dll" "$system/tesmuro-real-winmm.dll"
  cp "$JOY_DIR/winmm.dll" "$system/winmm.dll"
}

# start_with_pad [--zh] [--dir DIR] SETTINGS...: starts Tesmuro (in DIR, default a fresh app
# folder) with the double in the system folder and these settings; sets MAIN (the main window's
# selection) and MAIN_HWND.
start_with_pad() {
  local zh=() dir="" plain="$WINEDLLOVERRIDES"
  [ "$1" = --zh ] && { zh=(--zh); shift; }
  [ "$1" = --dir ] && { dir="$2"; shift 2; }
  install_pad_double
  [ -n "$dir" ] || dir=$(app_folder)
  write_settings "$dir/Quorlin.qlset" "$@"
  # Only Tesmuro (and the driver that starts it) runs with the override.
  export WINEDLLOVERRIDES="$plain;winmm=n,b"
  start_app "${zh[@]}" "$dir"
  export WINEDLLOVERRIDES="$plain"
  MAIN_HWND=$(wait_main_window)
  MAIN=(--hwnd "$MAIN_HWND")
  pad status >/dev/null || fail "Tesmuro did not load the winmm.dll test double"
}

# Record and Stop, sent to their buttons: each returns when the command has run.
record() { drv send "${MAIN[@]}" --id "$JOY_RECORD_ID" "$BM_CLICK" >/dev/null; }
stop() { drv send "${MAIN[@]}" --id "$JOY_STOP_ID" "$BM_CLICK" >/dev/null; }

# The script box's text, one line a line, with every delay written as "延迟 N", without the
# screen line each recording starts with (the recording tests check that one).
memo_lines() {
  _e2e_wine "$E2E_DRIVER" get-text "${MAIN[@]}" --id "$JOY_MEMO_ID" | tr -d '\r' |
    sed -E -e '/^屏幕 -?[0-9]+,-?[0-9]+,[0-9]+,[0-9]+,[0-9]+$/d' -e 's/^延迟 [0-9]+$/延迟 N/'
}

# wait_memo_lines N: waits until the script box has at least N lines, then prints them.
wait_memo_lines() {
  local want="$1" text n deadline=$(( $(e2e_now_ms) + 10000 ))
  echo "+ wait for $want lines in the script box" >&2
  while :; do
    text=$(memo_lines)
    n=0
    [ -n "$text" ] && n=$(printf '%s\n' "$text" | wc -l)
    if [ "$n" -ge "$want" ]; then
      printf '%s' "$text"
      return 0
    fi
    [ "$(e2e_now_ms)" -lt "$deadline" ] || fail "the script box has $n lines, not $want, after 10 s:"$'\n'"$text"
    sleep 0.05
  done
}

# wait_calls REGEX N: waits until N logged calls match REGEX; prints the whole log.
wait_calls() {
  local regex="$1" want="$2" calls n deadline=$(( $(e2e_now_ms) + 10000 ))
  while :; do
    calls=$(pad calls)
    n=$(grep -cE "$regex" <<<"$calls" || true)
    if [ "$n" -ge "$want" ]; then
      printf '%s' "$calls"
      return 0
    fi
    [ "$(e2e_now_ms)" -lt "$deadline" ] || fail "$n calls match $regex, not $want, after 10 s:"$'\n'"$calls"
    sleep 0.05
  done
}

# The log of calls with joyGetPosEx's record size checked (52 bytes) and its flags left out. The
# controllers may be counted up to the JOYERR_PARMS answer of id 16 or stop at 16 ids: the id 16
# line is dropped.
calls_normalized() {
  pad calls | sed -E 's/^joyGetPosEx ([0-9]+) size=52 flags=0x[0-9A-F]+ -> /joyGetPosEx \1 -> /' |
    grep -vx "joyGetPosEx 16 -> $JOYERR_PARMS"
}

# The calls of counting the controllers when ids 0 .. N-1 are plugged in.
count_calls() {
  local plugged="$1" id
  for ((id = 0; id < 16; id++)); do
    if [ "$id" -lt "$plugged" ]; then echo "joyGetPosEx $id -> 0"; else echo "joyGetPosEx $id -> $JOYERR_UNPLUGGED"; fi
  done
}

test_recording_the_virtual_controller() {
  start_with_pad "${JOY_SETTINGS[@]}"
  assert_eq none "$(pad_field capture0)" "capture before Record"
  assert_eq "" "$(pad calls)" "joystick calls before Record"

  record
  local expected
  expected="joySetCapture $MAIN_HWND 0 0 0 -> 0
joySetCapture $MAIN_HWND 1 0 0 -> $JOYERR_UNPLUGGED
joyGetNumDevs -> 16
$(count_calls 1)
joySetCapture $MAIN_HWND 0 100 1 -> $JOYERR_NOCANDO"
  assert_eq "$expected" "$(calls_normalized)" "joystick calls of Record"
  # The double refuses a second capture of a captured controller: the first one goes on, polling
  # every 10 ms (the least period) and reporting the position at every poll.
  assert_eq "$MAIN_HWND 10 0" "$(pad_field capture0)" "capture 0 (window, period, changed-only)"

  # The stick rests at the centre, which differs from the last position seen (0,0 at start-up).
  assert_eq $'延迟 N\n摇杆运动 32767,32767' "$(wait_memo_lines 2)" "first report of the resting stick"

  # A move, then five reports of the same position; a move of Y only; button 1.
  pad set --x 1000 --y 60000 --sync --ticks 5
  pad set --y 200 --sync --ticks 5
  pad set --buttons 1 --sync
  expected=$'延迟 N\n摇杆运动 32767,32767
延迟 N\n摇杆运动 1000,60000
延迟 N\n摇杆运动 1000,200
延迟 N\n摇杆按钮按下 257'
  assert_eq "$expected" "$(wait_memo_lines 8)" "script after a move, a Y move and button 1"

  # Button 2 while 1 is held; both released (no line); button 3 alone; released again.
  pad set --buttons 3 --sync
  pad set --buttons 0 --sync --ticks 3
  pad set --buttons 4 --sync
  pad set --buttons 0 --sync --ticks 3
  expected+=$'\n延迟 N\n摇杆按钮按下 515\n延迟 N\n摇杆按钮按下 1028'
  assert_eq "$expected" "$(wait_memo_lines 12)" "script after more buttons"
  assert_eq "3 2" "$(pad_field posted0 | cut -d' ' -f2-)" "button-down and button-up messages posted"

  pad clear-calls
  stop
  assert_eq "joyReleaseCapture 0 -> 0
joyReleaseCapture 1 -> 0" "$(pad calls)" "joystick calls of Stop"
  assert_eq none "$(pad_field capture0)" "capture after Stop"

  # Record again with the stick where it was: the position is not new, so only the button shows.
  record
  pad sync --ticks 5
  pad set --buttons 1 --sync
  expected+=$'\n延迟 N\n摇杆按钮按下 257'
  assert_eq "$expected" "$(wait_memo_lines 14)" "script after a second Record"
  stop
}

test_recording_with_a_changed_only_capture() {
  start_with_pad "${JOY_SETTINGS[@]}"
  # This time a second capture replaces the first: Record's capture with period 100 and the
  # changed-only flag stands. The stick rests at 0,0, Tesmuro's start value, so no report of the
  # first capture can make a line.
  pad set --recapture replace --x 0 --y 0
  record
  local expected
  expected="joySetCapture $MAIN_HWND 0 0 0 -> 0
joySetCapture $MAIN_HWND 1 0 0 -> $JOYERR_UNPLUGGED
joyGetNumDevs -> 16
$(count_calls 1)
joySetCapture $MAIN_HWND 0 100 1 -> 0"
  assert_eq "$expected" "$(calls_normalized)" "joystick calls of Record"
  assert_eq "$MAIN_HWND 100 1" "$(pad_field capture0)" "capture 0 (window, period, changed-only)"

  pad set --x 40000 --y 30000 --sync
  pad sync --ticks 3
  assert_eq "1 0 0" "$(pad_field posted0)" "messages posted: one move, for the one change"
  pad set --buttons 1 --sync
  assert_eq $'延迟 N\n摇杆运动 40000,30000\n延迟 N\n摇杆按钮按下 257' "$(wait_memo_lines 4)" "script"
  stop
  assert_eq none "$(pad_field capture0)" "capture after Stop"
}

test_without_a_joystick_service_nothing_is_recorded() {
  start_with_pad "${JOY_SETTINGS[@]}"
  pad set --num-devs 0
  record
  assert_eq "joySetCapture $MAIN_HWND 0 0 0 -> 0
joySetCapture $MAIN_HWND 1 0 0 -> $JOYERR_UNPLUGGED
joyGetNumDevs -> 0" "$(pad calls)" "joystick calls of Record"
  # The first capture stands and reports, but Tesmuro is not recording the controller.
  assert_eq "$MAIN_HWND 10 0" "$(pad_field capture0)" "capture 0"
  pad set --x 100 --y 200 --sync --ticks 3
  pad set --buttons 1 --sync

  # Save, clicked behind those messages: its file holds every line written before it.
  local file="$TEST_DIR/script.txt"
  drv click "${MAIN[@]}" --id "$JOY_SAVE_ID"
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  local deadline=$(( $(e2e_now_ms) + 10000 ))
  until [ -f "$file" ]; do
    [ "$(e2e_now_ms)" -lt "$deadline" ] || fail "Save wrote no $file"
    sleep 0.05
  done
  assert_eq $'屏幕 0,0,1280,1024,96\r' "$(iconv -f GBK -t UTF-8 "$file")" "the saved script: the screen line alone"
  stop
}

test_with_controller_recording_off_nothing_is_captured() {
  start_with_pad "${NO_JOY_SETTINGS[@]}"
  record
  assert_eq "" "$(pad calls)" "joystick calls of Record"
  assert_eq none "$(pad_field capture0)" "capture 0"
  stop
  assert_eq "joyReleaseCapture 0 -> 0
joyReleaseCapture 1 -> 0" "$(pad calls)" "joystick calls of Stop"
}

test_three_controllers_give_the_two_controller_message_and_only_the_first_is_recorded() {
  start_with_pad "${JOY_SETTINGS[@]}"
  pad set --connected 3
  drv click "${MAIN[@]}" --id "$JOY_RECORD_ID"  # posted: Record shows a message box
  assert_eq $'系统提示\n本系统只支持2个摇杆！' "$(drv msgbox --pid "$APP_PID" --timeout 15000)" "message"
  assert_eq $'1\tOK' "$(drv buttons --pid "$APP_PID")" "buttons of the message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  wait_calls '^joySetCapture' 4 >/dev/null
  local expected
  expected="joySetCapture $MAIN_HWND 0 0 0 -> 0
joySetCapture $MAIN_HWND 1 0 0 -> 0
joyGetNumDevs -> 16
$(count_calls 3)
joySetCapture $MAIN_HWND 0 100 1 -> $JOYERR_NOCANDO
joySetCapture $MAIN_HWND 1 100 1 -> $JOYERR_NOCANDO"
  assert_eq "$expected" "$(calls_normalized)" "joystick calls of Record"
  drv absent --pid "$APP_PID" --class '#32770' --for 0
  assert_eq "$MAIN_HWND 10 0" "$(pad_field capture1)" "capture 1"

  assert_eq $'延迟 N\n摇杆运动 32767,32767' "$(wait_memo_lines 2)" "first report of controller 1"
  # Controller 2 moves and presses a button (MM_JOY2MOVE, MM_JOY2BUTTONDOWN): no lines.
  pad set --pad 1 --x 5 --y 6 --sync --ticks 3
  pad set --pad 1 --buttons 1 --sync
  assert_eq "1 0" "$(pad_field posted1 | cut -d' ' -f2-)" "button messages of controller 2"
  pad set --buttons 1 --sync
  assert_eq $'延迟 N\n摇杆运动 32767,32767\n延迟 N\n摇杆按钮按下 257' "$(wait_memo_lines 4)" "script"
  stop
}

test_controller_reports() {
  start_with_pad "${JOY_SETTINGS[@]}"
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "摇杆1信息(&JoyStick1)" >/dev/null
  assert_eq "$JOY_REPORT_1" "$(drv msgbox --pid "$APP_PID" --timeout 15000)" "report of controller 1"
  assert_eq $'1\tOK' "$(drv buttons --pid "$APP_PID")" "buttons of the report"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_eq "joyGetDevCapsA 0 size=404 -> 0" "$(pad calls)" "joystick calls of the report"

  pad clear-calls
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "摇杆2信息(JoyStick&2)" >/dev/null
  assert_eq "$JOY_REPORT_2" "$(drv msgbox --pid "$APP_PID" --timeout 15000)" "report of controller 2 (none)"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_eq "joyGetDevCapsA 1 size=404 -> $JOYERR_UNPLUGGED" "$(pad calls)" "joystick calls of the report"
  assert_eq none "$(pad_field capture0)" "the reports capture nothing"
}

test_chinese_screenshot_of_the_controller_report() {
  # In the Chinese locale, where the labels render; the picture is kept whatever happens.
  start_with_pad --zh "${JOY_SETTINGS[@]}"
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "摇杆1信息(&JoyStick1)" >/dev/null
  local box text
  text=$(drv msgbox --pid "$APP_PID" --timeout 15000)
  # Under zh_CN the system code page is 936: the name's byte E9 alone is no character there.
  assert_eq "${JOY_REPORT_1%OEM名:*}" "${text%OEM名:*}" "report of controller 1 (zh_CN)"
  box=$(drv wait-window --pid "$APP_PID" --class '#32770' --visible)
  drv send --hwnd "$box" 0 >/dev/null
  drv send --hwnd "$box" 0 >/dev/null
  sleep 0.3  # lets the box finish painting
  shot --keep joystick-report "$(drv info --hwnd "$box" --field window)" >/dev/null
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
}

test_the_double_hands_the_rest_of_winmm_to_the_real_dll() {
  # The tool loads a copy of the double and compares calls through it with calls of the real
  # winmm.dll kept in the system folder.
  local dir="$TEST_DIR/check" out status=0
  install_pad_double
  mkdir -p "$dir"
  cp "$JOY_DIR/winmm.dll" "$dir/winmm.dll"
  out=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm=n,b" pad check-forwarding "$(winpath "$dir/winmm.dll")") || status=$?
  echo "$out" >&2
  assert_eq 0 "$status" "exit status of check-forwarding"
  assert_match $'double: [^\n]*\\\\check\\\\winmm\\.dll\n' "${out,,}" "the module loaded as the double"
  local listed
  listed=$(grep -cE '^[A-Za-z_]' "$E2E_ROOT/tests/e2e/winmm_double/forwarded_exports.txt")
  assert_match $'\nforwarded='"$listed"$'\nown=10\n' "$out" "exports of the double"
  assert_match $'\nforwarding works$' "$out" "result"
}

test_a_winmm_dll_planted_beside_the_program_is_not_loaded() {
  # A winmm.dll in the program's folder, which the override would let Wine take from there: Tesmuro
  # takes winmm.dll from the system folder only (here the double), so the planted library's code
  # never runs while the program starts, records and shows the controller report.
  local dir planted="$JOY_DIR/planted/winmm.dll" marker out
  [ -f "$planted" ] || fail "the planted winmm.dll is not built: $planted"
  dir=$(app_folder)
  cp "$planted" "$dir/winmm.dll"
  marker="$dir/planted-winmm-loaded.txt"
  start_with_pad --dir "$dir" "${JOY_SETTINGS[@]}"
  assert_file_absent "$marker" "the planted winmm.dll was loaded at start-up"

  record
  assert_eq $'延迟 N\n摇杆运动 32767,32767' "$(wait_memo_lines 2)" "the double's controller is recorded"
  stop
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "摇杆1信息(&JoyStick1)" >/dev/null
  assert_eq "$JOY_REPORT_1" "$(drv msgbox --pid "$APP_PID" --timeout 15000)" "report of controller 1"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_file_absent "$marker" "the planted winmm.dll was loaded"
  # The planted library does write its marker where a program loads it (this check's own worth).
  out=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm=n,b" pad check-forwarding "$(winpath "$dir/winmm.dll")" 2>&1) || true
  [ -f "$marker" ] || fail "the planted winmm.dll leaves no marker when it is loaded"
}
