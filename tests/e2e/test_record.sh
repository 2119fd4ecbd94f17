# Recording with physical input, and the script file commands (Save, Save As, Load, New).
# Run under LANG=C.UTF-8 (the harness's locale): the program's ANSI code page is then 1252, so
# any GBK conversion that leans on the system code page shows up as '?' or mojibake.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

# Recording settings: mouse and keys, no controller, no mouse capture; Record F9, Stop F11.
REC_SETTINGS=(RecMouse=1 RecKey=1 RecordKey=$VK_F9 StopKey=$VK_F11 ShortCutControl=1)

# Every keyword of the script format, one line each as the recorders write them.
REC_ALL_KEYWORDS=$'延迟 950
移动 512,384
左键按下
左键释放
左键双击
右键按下
右键释放
右键双击
中键按下
中键释放
中键双击
鼠标滚轮 -120 0 0
按键按下 65 30 0 735 0
按键弹起 65 30 128 4294967295 0
系统按键按下 18 56 32 1000 0
系统按键弹起 18 56 160 1001 0
摇杆运动 32767,65535
摇杆按钮按下 257'

# rec_line_count: lines of the script text (each recorded line ends with CR LF).
rec_has_lines() {
  local t
  get_script_text t || return 1
  [ "$(printf '%s' "$t" | grep -c $'\r$')" -ge "$1" ]
}

# rec_file_is FILE EXPECTED_BYTES_FILE
rec_file_is() { [ -f "$1" ] && cmp -s "$1" "$2"; }

# rec_gbk UTF8_TEXT OUT: the text as GBK bytes in OUT.
rec_gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK >"$2"; }

test_hot_keys_record_moves_click_wheel_and_keys_line_by_line() {
  assert_eq C.UTF-8 "$LANG" "locale of the run"
  start_tesmuro "${REC_SETTINGS[@]}"
  start_input_log
  # Every move stays inside the logger window: crossing into another window makes Wine add a
  # move of its own.
  move_pointer 60 50

  xdo key F9
  poll 5000 rec_has_lines 3
  move_pointer 100 60
  move_pointer 300 70
  move_pointer 110 80
  poll 5000 status_is 1 "X:110Y:80"
  xdo click 1
  wait_input_log "lup 110,80"
  poll 5000 status_is 2 "左键释放"
  assert_eq "X:110Y:80" "$(drv status "${MAIN[@]}" --part 1)" "panel 1 after the click"
  xdo click 5
  wait_input_log "wheel -120 110,80"
  poll 5000 status_is 2 "鼠标滚轮"
  # A pause (not a wait for anything): the next delay line must cover it.
  sleep 0.3
  xdo key a
  wait_input_log "keyup 65"
  xdo key F11
  wait_input_log "keyup $VK_F11"
  # A second recording appends; its first key line shows that F11's release was not recorded.
  xdo key F9
  poll 5000 rec_has_lines 25  # with the window line of the first click
  xdo key F11
  poll 5000 rec_has_lines 28  # and the window the second recording's first key went to
  poll 5000 status_is 2 "鼠标滚轮"  # key events leave the status bar alone

  local text
  get_script_text text
  [[ "$text" == *$'\r\n' ]] || fail "the last line does not end with CR LF: $(printf '%q' "${text: -20}")"
  local body="${text%$'\r\n'}"
  [[ "${body//$'\r\n'/}" != *[$'\r\n']* ]] || fail "a line break other than CR LF in $(printf '%q' "$text")"
  local -a all lines
  mapfile -t all < <(printf '%s\n' "${body//$'\r\n'/$'\n'}")
  # The window the first click went to (the logger's) is named once between the click's delay
  # line and the click, and again before the appended recording's first key.
  local -a windows
  mapfile -t windows < <(printf '%s\n' "${all[@]}" | grep '^窗口 ')
  assert_eq 2 "${#windows[@]}" "window lines in:"$'\n'"$text"
  [[ "${windows[0]}" == '窗口 win "fixture.exe" '* && "${windows[0]}" == "${windows[1]}" ]] ||
    fail "the logger's window lines: ${windows[*]}"
  mapfile -t all < <(printf '%s\n' "${all[@]}" | grep -v '^窗口 ')
  # Each recording starts with the screen it was made on: the test display, 96 DPI.
  assert_eq "屏幕 0,0,1280,1024,96" "${all[0]}" "first line"
  assert_eq "屏幕 0,0,1280,1024,96" "${all[21]}" "first line of the appended recording"
  lines=("${all[@]:1:20}" "${all[@]:22}")

  # Key lines: virtual key, scan code (non-zero: a physical key), flags (128 = going up; not
  # injected, not extended), time stamp, extra information 0.
  local -a expected=(
    "^按键弹起 $VK_F9 ([1-9][0-9]*) 128 ([0-9]+) 0\$"
    '^移动 100,60$'
    '^移动 300,70$'
    '^移动 110,80$'
    '^左键按下$'
    '^左键释放$'
    '^鼠标滚轮 -120 0 0$'
    "^按键按下 65 ([1-9][0-9]*) 0 ([0-9]+) 0\$"
    "^按键弹起 65 ([1-9][0-9]*) 128 ([0-9]+) 0\$"
    "^按键按下 $VK_F11 ([1-9][0-9]*) 0 ([0-9]+) 0\$"
    "^按键弹起 $VK_F9 ([1-9][0-9]*) 128 ([0-9]+) 0\$"
    "^按键按下 $VK_F11 ([1-9][0-9]*) 0 ([0-9]+) 0\$"
  )
  assert_eq $((2 * ${#expected[@]})) "${#lines[@]}" "number of lines in:"$'\n'"$text"
  local i scan=() stamp=() delay=()
  for ((i = 0; i < ${#expected[@]}; i++)); do
    [[ "${lines[2 * i]}" =~ ^延迟\ (0|[1-9][0-9]*)$ ]] ||
      fail "line $((2 * i + 1)) is not a delay line: ${lines[2 * i]}"
    delay[i]=${BASH_REMATCH[1]}
    [[ "${lines[2 * i + 1]}" =~ ${expected[i]} ]] ||
      fail "line $((2 * i + 2)): '${lines[2 * i + 1]}' does not match ${expected[i]}"
    scan[i]=${BASH_REMATCH[1]:-}
    stamp[i]=${BASH_REMATCH[2]:-}
  done
  assert_eq "${scan[0]}" "${scan[10]}" "scan code of F9 in the two recordings"
  assert_eq "${scan[7]}" "${scan[8]}" "scan code of A pressed and released"
  assert_eq "${scan[9]}" "${scan[11]}" "scan code of F11 in the two recordings"
  [ "${stamp[8]}" -ge "${stamp[7]}" ] || fail "A released (${stamp[8]}) before it was pressed (${stamp[7]})"
  [ "${delay[7]}" -ge 280 ] || fail "the delay before A is ${delay[7]} ms; the pause before it was at least 300 ms"
  echo "delay lines: ${delay[*]}" >&2
}

test_save_writes_gbk_with_crlf_asks_once_and_names_the_window() {
  start_tesmuro
  local first="$TEST_DIR/脚本 一.crec" second="$TEST_DIR/另存 二.crec"
  local text
  to_crlf text "$REC_ALL_KEYWORDS
注释：全角标点，繁體字與符號 ①
"
  drv set-text "${MAIN[@]}" --id 100 "$text"
  assert_script_text "$text" "text box before Save"

  drv click "${MAIN[@]}" --id 203
  drv file-dialog --pid "$APP_PID" "$(winpath "$first")" >/dev/null
  rec_gbk "$text" "$TEST_DIR/want-1"
  poll 10000 rec_file_is "$first" "$TEST_DIR/want-1"
  assert_eq "Tesmuro - $(winpath "$first")" "$(drv info "${MAIN[@]}" --field caption)" "caption after Save"

  # Save again: no dialog, the same file; a last line without a line break gets one.
  to_crlf text $'延迟 5\n按键按下 65 30 0 1 0\n鼠标滚轮 120 0 0'
  drv set-text "${MAIN[@]}" --id 100 "$text"
  drv click "${MAIN[@]}" --id 203
  rec_gbk "$text"$'\r\n' "$TEST_DIR/want-2"
  poll 10000 rec_file_is "$first" "$TEST_DIR/want-2"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a dialog is open after the second Save"

  # Save As always asks; it names the script but leaves the caption alone.
  drv menu-invoke "${MAIN[@]}" "文件(&File)" "另存为(Save &As)" >/dev/null
  drv file-dialog --pid "$APP_PID" "$(winpath "$second")" >/dev/null
  poll 10000 rec_file_is "$second" "$TEST_DIR/want-2"
  assert_eq "Tesmuro - $(winpath "$first")" "$(drv info "${MAIN[@]}" --field caption)" "caption after Save As"

  # From now on Save writes the Save As file, without asking.
  to_crlf text $'移动 1,2\n'
  drv set-text "${MAIN[@]}" --id 100 "$text"
  drv menu-invoke "${MAIN[@]}" "文件(&File)" "保存记录文件(&Save)" >/dev/null
  rec_gbk "$text" "$TEST_DIR/want-3"
  poll 10000 rec_file_is "$second" "$TEST_DIR/want-3"
  assert_same_file "$TEST_DIR/want-2" "$first" "Save after Save As changed the first file"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a dialog is open after Save"
  assert_eq "Tesmuro - $(winpath "$second")" "$(drv info "${MAIN[@]}" --field caption)" "caption after Save"
}

test_load_turns_every_line_break_into_crlf_and_save_writes_it_back() {
  start_tesmuro
  local lf="$TEST_DIR/换行 LF.crec" mixed="$TEST_DIR/mixed.crec"
  printf '延迟 100\n移动 640,480\n左键按下\n延迟 20\n左键释放\n' | iconv -f UTF-8 -t GBK >"$lf"
  drv menu-invoke "${MAIN[@]}" "文件(&File)" "打开记录文件(&Load)" >/dev/null
  drv file-dialog --pid "$APP_PID" "$(winpath "$lf")" >/dev/null
  local want
  to_crlf want $'延迟 100\n移动 640,480\n左键按下\n延迟 20\n左键释放\n'
  poll 10000 script_text_is "$want"
  assert_eq "Tesmuro - $(winpath "$lf")" "$(drv info "${MAIN[@]}" --field caption)" "caption after Load"

  # Lone CR, lone LF, CR LF and a last line without a break, through the Load button.
  printf '按键按下 65 30 0 1 0\r按键弹起 65 30 128 2 0\n鼠标滚轮 -120 0 0\r\n中键按下' | iconv -f UTF-8 -t GBK >"$mixed"
  drv click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$mixed")" >/dev/null
  to_crlf want $'按键按下 65 30 0 1 0\n按键弹起 65 30 128 2 0\n鼠标滚轮 -120 0 0\n中键按下'
  poll 10000 script_text_is "$want"
  assert_eq "Tesmuro - $(winpath "$mixed")" "$(drv info "${MAIN[@]}" --field caption)" "caption after the second Load"

  # Save right after Load writes the loaded file, without asking.
  drv click "${MAIN[@]}" --id 203
  rec_gbk "$want"$'\r\n' "$TEST_DIR/want"
  poll 10000 rec_file_is "$mixed" "$TEST_DIR/want"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a dialog is open after Save"
}

test_new_asks_first_clears_only_on_ok_and_forgets_the_file_name() {
  start_tesmuro
  local file="$TEST_DIR/loaded.crec" fresh="$TEST_DIR/fresh.crec"
  printf '延迟 7\r\n右键按下\r\n' | iconv -f UTF-8 -t GBK >"$file"
  drv click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  local text
  to_crlf text $'延迟 7\n右键按下\n'
  poll 10000 script_text_is "$text"
  local caption="Tesmuro - $(winpath "$file")"

  drv click "${MAIN[@]}" --id 201
  assert_eq $'系统提示\n是否放弃当前文件，新建新的记录文件？' "$(drv msgbox --pid "$APP_PID")" "New's question"
  assert_eq $'1\tOK\n2\tCancel' "$(drv buttons --pid "$APP_PID")" "New's buttons"
  drv msgbox --pid "$APP_PID" --press cancel >/dev/null
  drv send "${MAIN[@]}" 0 >/dev/null  # the answer has been handled
  assert_script_text "$text" "text after New was cancelled"

  drv menu-invoke "${MAIN[@]}" "文件(&File)" "新建记录文件(&New)" >/dev/null
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  poll 5000 script_text_is ""
  assert_eq "$caption" "$(drv info "${MAIN[@]}" --field caption)" "New changed the caption"

  # The loaded file's name is gone: Save asks again, and writes the empty script.
  drv click "${MAIN[@]}" --id 203
  drv file-dialog --pid "$APP_PID" "$(winpath "$fresh")" >/dev/null
  poll 10000 test -f "$fresh"
  assert_eq 0 "$(stat -c %s "$fresh")" "size of the saved empty script"
  assert_same_file <(printf '延迟 7\r\n右键按下\r\n' | iconv -f UTF-8 -t GBK) "$file" "New changed the loaded file"
}
