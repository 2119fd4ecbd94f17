# Limits: numbers that must never make the program act on its own (huge or negative times in
# the settings file, negative numbers typed into the settings dialog), and file names at the
# length limits.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

# limits_alive: Tesmuro, its main window and the logger are all still there. Under Wine a
# shutdown request (ExitWindowsEx) ends every process of the prefix.
limits_alive() {
  drv alive "$APP_PID" >/dev/null && drv alive "$LOG_PID" >/dev/null &&
    [ "$(drv info "${MAIN[@]}" --field visible)" = 1 ]
}

# limits_log_count_is LINE N: the log (without time stamps) has N lines equal to LINE.
limits_log_count_is() { [ "$(input_log | cut -d' ' -f2- | grep -cxF "$1")" = "$2" ]; }

# limits_key_gives SELECTOR VALUE TEXT KEY...: unless the control's text is TEXT already,
# presses the keys; true when the text is TEXT afterwards.
limits_key_gives() {
  local sel=("$1" "$2" "$3" "$4" "$5" "$6") want="$7"
  shift 7
  [ "$(drv get-text "${sel[@]}")" = "$want" ] && return 0
  xdo key "$@"
  sleep 0.1
  [ "$(drv get-text "${sel[@]}")" = "$want" ]
}

test_six_hundred_thousand_shutdown_hours_play_a_script_without_shutting_down() {
  # 600000 hours overflowed 32 bits into a negative time, and the first word asked for the
  # shutdown.
  start_tesmuro ShutAfterElapsed=1 ShutHours=600000 LoopByCount=1 LoopCount=2
  local script="$TEST_DIR/short.crec"
  start_input_log --watch "$script"
  hold_pointer
  gbk_script "$script" <<'EOF'
延迟 50
移动 100,60
左键按下
左键释放
延迟 200
移动 200,100
右键按下
右键释放
EOF
  drv click "${MAIN[@]}" --id 206
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  wait_input_log "ldown 100,60"
  start_file_watch
  wait_input_log "file closed"
  # The logger may note the end of the run before the last injected button.
  poll 5000 limits_log_count_is "rup 200,100" 2
  local pass=$'ldown 100,60\nlup 100,60\nrdown 200,100\nrup 200,100'
  assert_eq "$pass"$'\n'"$pass" "$(input_events | grep -E '^[lr](down|up) ')" "buttons of two passes"
  # Give a shutdown, had one been asked for, the time to end the processes.
  sleep 1
  limits_alive || fail "a process of the prefix ended: a shutdown was requested"
  drv close "${MAIN[@]}" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
}

test_negative_hours_typed_into_the_settings_dialog_get_a_clear_message() {
  start_tesmuro RecMouse=1 RecKey=1 LoopByTime=1 LoopHours=0 LoopMinutes=5
  cp "$APP_DIR/Quorlin.qlset" "$TEST_DIR/settings-before"
  local dlg=(--pid "$APP_PID" --class TFrmSoftwareSetup)
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  wait_output 1 "the dialog in front" drv info "${dlg[@]}" --field front

  # Real clicks and keys: the hours box of the timed loop, then the confirm button.
  local geometry x y w h
  geometry=$(drv info "${dlg[@]}" --id 411 --field window)  # WxH+X+Y
  IFS='x+' read -r w h x y <<<"$geometry"
  # Near its right edge: the radio button's label covers the box's left part.
  xdo mousemove $((x + w - 6)) $((y + h / 2))
  xdo click 1
  # The click activates the program under Wine after a while; keys before that go elsewhere.
  # Each key is pressed again until the box shows its effect.
  poll 5000 limits_key_gives "${dlg[@]}" --id 411 "" End BackSpace
  poll 5000 limits_key_gives "${dlg[@]}" --id 411 - minus
  poll 5000 limits_key_gives "${dlg[@]}" --id 411 -3 3
  geometry=$(drv info "${dlg[@]}" --id 1 --field window)
  IFS='x+' read -r w h x y <<<"$geometry"
  xdo mousemove $((x + w / 2)) $((y + h / 2))
  xdo click 1

  assert_eq $'系统提示\n循环时间的小时数不能为负数：“-3”。' "$(drv msgbox --pid "$APP_PID")" "the message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_same_file "$TEST_DIR/settings-before" "$APP_DIR/Quorlin.qlset" "the refused value was written"
  assert_eq -3 "$(drv get-text "${dlg[@]}" --id 411)" "the refused box keeps its text"
  drv click "${dlg[@]}" --id 2 >/dev/null
  wait_output 0 "the dialog closed" drv info "${dlg[@]}" --field visible

  # The program goes on: the dialog opens again, filled from the file.
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  assert_eq 0 "$(drv get-text "${dlg[@]}" --id 411)" "hours box after the refusal"
  drv click "${dlg[@]}" --id 2 >/dev/null
  drv close "${MAIN[@]}" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
}

test_a_script_with_the_longest_file_name_saves_and_the_program_declares_long_paths() {
  local manifest='<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'
  grep -qF "$manifest" "$E2E_APP" || fail "Tesmuro.exe's manifest does not declare long-path awareness"

  # A name of 250 characters: a temporary name made by adding to it would pass the file
  # system's 255. The folder gets a drive of its own, T:, so that the whole path stays within
  # what Wine's file dialog takes (it overflows beyond MAX_PATH).
  start_tesmuro
  local name drive="$WINEPREFIX/dosdevices/t:"
  [ ! -e "$drive" ] || fail "drive T: is taken in the test prefix"
  ln -s "$TEST_DIR" "$drive"
  trap "rm -f -- '$drive'" EXIT
  name="$(printf 'n%.0s' $(seq 1 245)).crec"
  local script="$TEST_DIR/$name"
  drv set-text "${MAIN[@]}" --id 100 $'移动 7,7\r\n' >/dev/null
  drv click "${MAIN[@]}" --id 203  # Save: no name yet, so the dialog asks for one
  drv file-dialog --pid "$APP_PID" "T:\\$name" >/dev/null
  poll 5000 test -s "$script"
  assert_eq $'移动 7,7\r' "$(iconv -f GBK -t UTF-8 "$script")" "saved script"
  assert_status 0 drv absent --pid "$APP_PID" --class '#32770' --for 300
  # Saved again over itself, and nothing else left in the folder.
  drv set-text "${MAIN[@]}" --id 100 $'移动 8,8\r\n' >/dev/null
  drv click "${MAIN[@]}" --id 203
  poll 5000 limits_file_is "$script" $'移动 8,8\r'
  assert_eq 1 "$(find "$TEST_DIR" -maxdepth 1 -type f \( -name '*.crec' -o -name '~*' \) | wc -l)" "files in the folder"
}

# limits_file_is FILE TEXT: FILE holds TEXT (UTF-8) as GBK.
limits_file_is() { [ "$(iconv -f GBK -t UTF-8 "$1" 2>/dev/null)" = "$2" ]; }
