# The windows around the main one: the mini window, the settings dialog, the About box and
# the help command.

# Starts Tesmuro with the default settings and waits for its main window; sets WIN_MAIN.
windows_start() {
  local dir
  dir=$(app_folder)
  write_settings "$dir/Quorlin.qlset" "${E2E_DEFAULT_SETTINGS[@]}"
  WIN_DIR=$dir
  start_app "$dir"
  wait_main_window >/dev/null
  WIN_MAIN=(--pid "$APP_PID" --class TFrmMain)
}

test_mini_window_stands_in_for_the_main_window_and_counts_lines() {
  windows_start
  drv set-text "${WIN_MAIN[@]}" --id 100 $'延迟 5\r\n移动 1,2\r\ntyped\r\n' >/dev/null
  drv click "${WIN_MAIN[@]}" --id 204 >/dev/null
  drv wait-window --pid "$APP_PID" --class TFrmMirco --visible >/dev/null
  assert_eq 0 "$(drv info "${WIN_MAIN[@]}" --field visible)" "the main window stays visible"
  assert_eq "微型录制播放动作界面" "$(drv info --pid "$APP_PID" --class TFrmMirco --field caption)" "mini caption"
  assert_eq 240x24 "$(drv info --pid "$APP_PID" --class TFrmMirco --field client)" "mini client area"
  wait_output "录制了3步" "step counter" drv get-text --pid "$APP_PID" --class TFrmMirco --id 150

  # Closing the mini window brings the main window back; the counter follows the text box.
  drv close --pid "$APP_PID" --class TFrmMirco >/dev/null
  wait_output 1 "main window back" drv info "${WIN_MAIN[@]}" --field visible
  assert_eq 0 "$(drv info --pid "$APP_PID" --class TFrmMirco --field visible)" "mini window still shown"
  # Clear: the text was changed (set from outside), so it asks first; not saved.
  drv post "${WIN_MAIN[@]}" --id 209 245 >/dev/null  # BM_CLICK, posted: the question is modal
  drv msgbox --pid "$APP_PID" --press no >/dev/null
  wait_output "录制了0步" "step counter after Clear" drv get-text --pid "$APP_PID" --class TFrmMirco --id 150
  drv close "${WIN_MAIN[@]}" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
}

WIN_DLG=()
WIN_FOLLOW=447  # 坐标跟随窗口
WIN_WAIT=448    # 等待窗口最长秒数

# Opens the settings dialog on its second page with a real click on the tab.
windows_second_page() {
  WIN_DLG=(--pid "$APP_PID" --class TFrmSoftwareSetup)
  drv menu-invoke "${WIN_MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${WIN_DLG[@]}" --visible >/dev/null
  real_click --at 95 10 "${WIN_DLG[@]}" --id 400
  wait_output 1 "the second page" drv info "${WIN_DLG[@]}" --id $WIN_WAIT --field visible
}

# windows_tick ON: a real click on the follow box until it shows ON (1 or 0); the first click may
# only activate the dialog under Wine.
windows_tick() {
  local i
  for i in 1 2 3; do
    real_click --at 8 8 "${WIN_DLG[@]}" --id $WIN_FOLLOW
    sleep 0.3
    [ "$(drv send "${WIN_DLG[@]}" --id $WIN_FOLLOW 240)" = "$1" ] && return 0  # BM_GETCHECK
  done
  fail "the follow box does not show $1"
}

# windows_type_wait TEXT: real keys into the wait box, replacing what it held.
windows_type_wait() {
  local i
  real_click "${WIN_DLG[@]}" --id $WIN_WAIT
  wait_focus "${WIN_DLG[@]}" --id $WIN_WAIT
  for i in 1 2 3 4 5 6; do
    xdo key End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
    [ -z "$(drv get-text "${WIN_DLG[@]}" --id $WIN_WAIT)" ] && break
  done
  xdo type "$1"
  wait_output "$1" "the wait box" drv get-text "${WIN_DLG[@]}" --id $WIN_WAIT
}

windows_line() { sed -n "$1p" "$WIN_DIR/Quorlin.qlset" | tr -d '\r'; }

test_settings_dialog_applies_on_confirm_and_reports_a_bad_number() {
  windows_start
  cp "$WIN_DIR/Quorlin.qlset" "$TEST_DIR/settings-before"
  local dlg=(--pid "$APP_PID" --class TFrmSoftwareSetup)

  # Give up: nothing is written.
  drv menu-invoke "${WIN_MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  assert_eq "软件设置对话框" "$(drv info "${dlg[@]}" --field caption)" "dialog caption"
  assert_eq 362x432 "$(drv info "${dlg[@]}" --field client)" "dialog client area"
  assert_eq 0 "$(drv info "${WIN_MAIN[@]}" --field enabled)" "the main window is usable under the dialog"
  drv set-text "${dlg[@]}" --id 410 "9" >/dev/null
  drv click "${dlg[@]}" --id 2 >/dev/null
  wait_output 0 "dialog closed" drv info "${dlg[@]}" --field visible
  assert_same_file "$TEST_DIR/settings-before" "$WIN_DIR/Quorlin.qlset" "giving up wrote the settings"

  # Confirm: the loop count reaches line 7 of the file.
  drv menu-invoke "${WIN_MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  drv set-text "${dlg[@]}" --id 410 " 12" >/dev/null
  drv click "${dlg[@]}" --id 1 >/dev/null
  wait_output 0 "dialog closed" drv info "${dlg[@]}" --field visible
  assert_eq 12 "$(sed -n 7p "$WIN_DIR/Quorlin.qlset" | tr -d '\r')" "loop count line"
  assert_eq 36 "$(wc -l <"$WIN_DIR/Quorlin.qlset" | tr -d ' ')" "line count of the settings file"
  assert_eq 100 "$(sed -n 27p "$WIN_DIR/Quorlin.qlset" | tr -d '\r')" "speed line of a file that had none"
  assert_eq 0 "$(sed -n 30p "$WIN_DIR/Quorlin.qlset" | tr -d '\r')" "the Play hot key asks for a file"

  # A text that is not a number: the standard error box; the file keeps the last good values.
  cp "$WIN_DIR/Quorlin.qlset" "$TEST_DIR/settings-good"
  drv menu-invoke "${WIN_MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  drv set-text "${dlg[@]}" --id 410 "12a" >/dev/null
  drv click "${dlg[@]}" --id 1 >/dev/null
  assert_eq $'系统提示\n循环次数必须是整数：“12a”。' "$(drv msgbox --pid "$APP_PID")" "the message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_same_file "$TEST_DIR/settings-good" "$WIN_DIR/Quorlin.qlset" "a failed apply wrote the settings"
  drv click "${dlg[@]}" --id 2 >/dev/null
  wait_output 0 "dialog closed" drv info "${dlg[@]}" --field visible

  # Real clicks and keys on the second page: the follow box and the wait limit (on and 10 s by
  # default) reach lines 31 and 32.
  windows_second_page
  assert_eq 1 "$(drv send "${WIN_DLG[@]}" --id $WIN_FOLLOW 240)" "the follow box of a file without it"
  assert_eq 10 "$(drv get-text "${WIN_DLG[@]}" --id $WIN_WAIT)" "the wait box of a file without it"
  windows_tick 0
  windows_type_wait 30
  real_click "${WIN_DLG[@]}" --id 1
  wait_output 0 "dialog closed" drv info "${WIN_DLG[@]}" --field visible
  assert_eq 0 "$(windows_line 31)" "the follow line"
  assert_eq 30 "$(windows_line 32)" "the wait line"

  # Beyond a day: the message names the box, and nothing is written.
  cp "$WIN_DIR/Quorlin.qlset" "$TEST_DIR/settings-good"
  windows_second_page
  windows_tick 1
  windows_type_wait 86401
  real_click "${WIN_DLG[@]}" --id 1
  assert_eq $'系统提示\n等待窗口最长秒数必须是 0 到 86400 之间的整数：“86401”。' "$(drv msgbox --pid "$APP_PID")" \
    "the message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_same_file "$TEST_DIR/settings-good" "$WIN_DIR/Quorlin.qlset" "a refused limit was written"
  drv click "${WIN_DLG[@]}" --id 2 >/dev/null
  wait_output 0 "dialog closed" drv info "${WIN_DLG[@]}" --field visible

  # On again with 0 (never wait).
  windows_second_page
  windows_tick 1
  windows_type_wait 0
  real_click "${WIN_DLG[@]}" --id 1
  wait_output 0 "dialog closed" drv info "${WIN_DLG[@]}" --field visible
  assert_eq 1 "$(windows_line 31)" "the follow line"
  assert_eq 0 "$(windows_line 32)" "the wait line"
  drv close "${WIN_MAIN[@]}" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
}

test_about_box_and_help_command() {
  windows_start
  drv menu-invoke "${WIN_MAIN[@]}" "帮助(&Help)" "关于本软件(&About)" >/dev/null
  drv wait-window --pid "$APP_PID" --class TAboutBox --visible >/dev/null
  assert_eq "关于本软件(About)" "$(drv info --pid "$APP_PID" --class TAboutBox --field caption)" "About caption"
  assert_eq 298x213 "$(drv info --pid "$APP_PID" --class TAboutBox --field client)" "About client area"
  assert_eq 0 "$(drv info "${WIN_MAIN[@]}" --field enabled)" "the main window is usable under the About box"
  drv click --pid "$APP_PID" --class TAboutBox --id 1 >/dev/null
  wait_output 1 "main window enabled again" drv info "${WIN_MAIN[@]}" --field enabled

  # No help file beside the program: the box names the path it looked for.
  drv menu-invoke "${WIN_MAIN[@]}" "帮助(&Help)" "帮助内容(&Content)" >/dev/null
  assert_eq "系统提示"$'\n'"不能打开帮助文件$(winpath "$WIN_DIR")\\Quorlin.chm" "$(drv msgbox --pid "$APP_PID")" \
    "help message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  drv close "${WIN_MAIN[@]}" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
}
