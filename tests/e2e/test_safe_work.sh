# Work is never lost: the program's own buttons answer real clicks while recording holds the mouse
# capture (the default settings), unsaved text is not thrown away without asking, Load then Save
# keeps every byte, and a recording survives the program being killed.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

SAFE_ASK_SAVE="动作记录已修改，是否保存修改？"

# Starts Tesmuro with the settings a new user has (mouse capture while recording included).
safe_start() {
  local dir="${1:-}"
  [ -n "$dir" ] || dir=$(app_folder)
  write_settings "$dir/Quorlin.qlset" "${E2E_DEFAULT_SETTINGS[@]}"
  start_app "$dir"
  wait_main_window >/dev/null
  MAIN=(--pid "$APP_PID" --class TFrmMain)
}

script_length() {
  local t
  get_script_text t
  printf '%s' "${#t}"
}

# The script text grows no more while the pointer moves about.
assert_not_recording() {
  local before after
  before=$(script_length)
  xdo mousemove 100 100
  sleep 0.2
  xdo mousemove 200 150
  sleep 0.5
  after=$(script_length)
  assert_eq "$before" "$after" "$1: the script still grows"
}

test_buttons_answer_real_clicks_while_recording_with_the_default_settings() {
  safe_start
  real_click "${MAIN[@]}" --id 205  # Record
  poll 5000 rec_grows_after_moves
  # The menu bar opens under a real click while the capture holds.
  local x y geometry
  read -r x y < <(drv nc-point menu "${MAIN[@]}")
  geometry=$(drv info "${MAIN[@]}" --field window)
  x=${geometry#*+}
  xdo mousemove $((${x%%+*} + 30)) "$y"  # on the File menu's title
  sleep 0.1
  xdo click 1
  drv wait-window --pid "$APP_PID" --class '#32768' --visible >/dev/null
  xdo key Escape
  drv wait-gone --pid "$APP_PID" --class '#32768' --visible >/dev/null
  real_click "${MAIN[@]}" --id 208  # Stop
  assert_not_recording "after a click on Stop"

  # Pause (nothing playing) and Clear answer too while the capture holds; Stop ends it again.
  real_click "${MAIN[@]}" --id 205
  poll 5000 rec_grows_after_moves
  real_click "${MAIN[@]}" --id 209  # Clear: the text had changed, so it asks first
  assert_eq $'系统提示\n'"$SAFE_ASK_SAVE" "$(drv msgbox --pid "$APP_PID" --press no)" "Clear's question"
  real_click "${MAIN[@]}" --id 208
  assert_not_recording "after Clear and Stop"

  # The same through the mini window's own buttons, with the main window hidden.
  real_click "${MAIN[@]}" --id 204
  drv wait-window --pid "$APP_PID" --class TFrmMirco --visible >/dev/null
  local mini=(--pid "$APP_PID" --class TFrmMirco)
  real_click "${mini[@]}" --id 151  # Record
  poll 5000 rec_grows_after_moves
  real_click "${mini[@]}" --id 154  # Stop
  assert_not_recording "after a click on the mini window's Stop"
}

# The script grows when the pointer moves.
rec_grows_after_moves() {
  local before after
  before=$(script_length)
  xdo mousemove 300 300 >/dev/null 2>&1
  xdo mousemove 320 310 >/dev/null 2>&1
  sleep 0.3
  after=$(script_length)
  [ "$after" -gt "$before" ]
}

test_closing_with_unsaved_text_asks_and_cancel_keeps_everything() {
  safe_start
  real_click "${MAIN[@]}" --id 100
  xdo type "typed"
  poll 5000 script_text_is "typed"
  # The close box, clicked for real: Cancel keeps the program and the text.
  local x y
  read -r x y < <(drv nc-point close "${MAIN[@]}")
  xdo mousemove "$x" "$y" click 1
  assert_eq $'系统提示\n'"$SAFE_ASK_SAVE" "$(drv msgbox --pid "$APP_PID")" "the question on closing"
  assert_eq $'6\t&Yes\n7\t&No\n2\tCancel' "$(drv buttons --pid "$APP_PID")" "its buttons"
  drv msgbox --pid "$APP_PID" --press cancel >/dev/null
  drv send "${MAIN[@]}" 0 >/dev/null
  assert_script_text "typed" "text after Cancel"
  assert_eq 1 "$(drv alive "$APP_PID")" "the program after Cancel"

  # Yes saves (asking for a name) and then closes.
  drv menu-invoke "${MAIN[@]}" "文件(&File)" "退出本软件(&Exit)" >/dev/null
  drv msgbox --pid "$APP_PID" --press yes >/dev/null
  drv file-dialog --pid "$APP_PID" "$(winpath "$TEST_DIR/kept.crec")" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code after Yes"
  printf 'typed\r\n' >"$TEST_DIR/want"
  assert_same_file "$TEST_DIR/want" "$TEST_DIR/kept.crec" "the file saved on closing"
}

test_load_then_save_keeps_every_byte_and_typed_characters_outside_gbk_are_named() {
  safe_start
  local file="$TEST_DIR/damaged.crec"
  # A NUL inside the second line, bytes that are no GBK, a cut-off character at the end.
  printf '\xd1\xd3\xb3\xd9 5\r\nab\x00cd \xff\xfe\x80\r\n\xd7\xf3\xbc\xfc\xb0\xb4\xcf\xc2\r\n\xd1' >"$file"
  cp "$file" "$TEST_DIR/original"
  printf '\r\n' >>"$TEST_DIR/original"  # Save ends the last line
  real_click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  poll 5000 status_caption_names "$file"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a box after Load"
  real_click "${MAIN[@]}" --id 203
  poll 5000 rec_file_is "$file" "$TEST_DIR/original"

  # A character GBK cannot hold: Save says so first; Cancel writes nothing.
  drv set-text "${MAIN[@]}" --id 100 $'한 글\r\n' >/dev/null
  real_click "${MAIN[@]}" --id 203
  local box
  box=$(drv msgbox --pid "$APP_PID")
  assert_match "有 2 个字符不能用 GBK 编码保存" "$box" "the warning before Save"
  drv msgbox --pid "$APP_PID" --press cancel >/dev/null
  drv send "${MAIN[@]}" 0 >/dev/null
  assert_same_file "$TEST_DIR/original" "$file" "Save went on after Cancel"
}

status_caption_names() { [ "$(drv info "${MAIN[@]}" --field caption)" = "Tesmuro - $(winpath "$1")" ]; }

test_a_recording_survives_the_program_being_killed() {
  local dir
  dir=$(app_folder)
  safe_start "$dir"
  real_click "${MAIN[@]}" --id 205
  xdo mousemove 400 400
  xdo key a b c
  poll 5000 rec_has_lines 12
  sleep 1  # longer than the journal's batching
  local text
  get_script_text text
  drv kill "$APP_PID" >/dev/null
  drv wait-exit "$APP_PID" 10000 >/dev/null || true

  start_app "$dir"
  assert_eq $'系统提示\n上次录制的动作记录没有保存（程序未正常结束）。\n是否恢复这份动作记录？' \
    "$(drv msgbox --pid "$APP_PID" --timeout 15000)" "the offer at the next start"
  drv msgbox --pid "$APP_PID" --press yes >/dev/null
  wait_main_window >/dev/null
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  poll 5000 script_text_is "$text"

  # Offered once: a plain close asks to save (the text is unsaved), No discards it for good.
  drv close "${MAIN[@]}" >/dev/null
  drv msgbox --pid "$APP_PID" --press no >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
  start_app "$dir"
  wait_main_window >/dev/null
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  drv absent --pid "$APP_PID" --class '#32770' --for 1500 >/dev/null
  assert_script_text "" "text at the third start"
}

rec_has_lines() {
  local t
  get_script_text t || return 1
  [ "$(printf '%s' "$t" | grep -c $'\r$')" -ge "$1" ]
}
rec_file_is() { [ -f "$1" ] && cmp -s "$1" "$2"; }
