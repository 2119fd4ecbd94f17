# The playback speed: a box on the settings dialog's second page, stored on the settings file's
# 27th line, and playback at that speed.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

SPEED_BOX=441
SPEED_WAIT=448  # 等待窗口最长秒数
SPEED_DLG=()

# Opens the settings dialog on its second page with real clicks.
speed_open_dialog() {
  SPEED_DLG=(--pid "$APP_PID" --class TFrmSoftwareSetup)
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${SPEED_DLG[@]}" --visible >/dev/null
  real_click --at 95 10 "${SPEED_DLG[@]}" --id 400
  poll 5000 speed_box_visible
}
speed_box_visible() { [ "$(drv info "${SPEED_DLG[@]}" --id $SPEED_BOX --field visible)" = 1 ]; }
speed_box_is() { [ "$(drv get-text "${SPEED_DLG[@]}" --id $SPEED_BOX)" = "$1" ]; }

# speed_type TEXT: real keys into the box, replacing what it held.
speed_type() {
  real_click "${SPEED_DLG[@]}" --id $SPEED_BOX
  wait_focus "${SPEED_DLG[@]}" --id $SPEED_BOX
  local i
  for i in 1 2 3 4 5 6; do
    xdo key End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
    speed_box_is "" && break
  done
  xdo type "$1"
  poll 5000 speed_box_is "$1"
}

test_the_speed_box_stores_the_speed_and_playback_follows_it() {
  start_tesmuro RecMouse=1 RecKey=1 LoopByCount=1 LoopCount=1
  speed_open_dialog
  assert_eq 100 "$(drv get-text "${SPEED_DLG[@]}" --id $SPEED_BOX)" "the speed of a file without one"
  shot --keep settings-second-page "$(drv info "${SPEED_DLG[@]}" --field window)" >/dev/null

  # Two changes, one of them refused: the dialog stays open on the refused box, selected, with
  # nothing written and the other change kept; the fix typed over it and a second confirm store both.
  cp "$APP_DIR/Quorlin.qlset" "$TEST_DIR/settings-before"
  speed_type 200
  real_click "${SPEED_DLG[@]}" --id $SPEED_WAIT
  xdo key End BackSpace BackSpace BackSpace
  xdo type abc
  wait_output abc "the wait box" drv get-text "${SPEED_DLG[@]}" --id $SPEED_WAIT
  real_click "${SPEED_DLG[@]}" --id 1
  assert_eq $'系统提示\n等待窗口最长秒数必须是 0 到 86400 之间的整数：“abc”。' "$(drv msgbox --pid "$APP_PID")" \
    "the message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_eq 1 "$(drv info "${SPEED_DLG[@]}" --field visible)" "the dialog after a refusal"
  assert_eq 200 "$(drv get-text "${SPEED_DLG[@]}" --id $SPEED_BOX)" "the other change"
  assert_same_file "$TEST_DIR/settings-before" "$APP_DIR/Quorlin.qlset" "a refused dialog was written"
  xdo type 30  # over the selected text of the focused box
  wait_output 30 "the wait box retyped" drv get-text "${SPEED_DLG[@]}" --id $SPEED_WAIT
  real_click "${SPEED_DLG[@]}" --id 1
  wait_output 0 "the dialog closed" drv info "${SPEED_DLG[@]}" --field visible
  poll 5000 speed_line_is 200
  assert_eq 30 "$(sed -n 32p "$APP_DIR/Quorlin.qlset" | tr -d '\r')" "the wait line"

  speed_open_dialog
  speed_type 400
  real_click "${SPEED_DLG[@]}" --id 1
  poll 5000 speed_line_is 400

  local script="$TEST_DIR/speed.crec"
  start_input_log --watch "$script"
  hold_pointer
  gbk_script "$script" <<'EOF'
延迟 200
移动 100,60
左键按下
左键释放
延迟 800
左键按下
左键释放
EOF
  drv click "${MAIN[@]}" --id 206
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  start_file_watch
  wait_input_log "file closed" 10000
  poll 5000 speed_clicks_are 2
  local gap
  gap=$(ldown_gap_ms)
  echo "clicks ${gap} ms apart (800 ms at 100 %)" >&2
  # A late first click shortens the gap (actions are due at the run's start plus the delays).
  [ "$gap" -ge 60 ] && [ "$gap" -lt 600 ] || fail "the clicks are $gap ms apart; at 400 % the 800 ms delay is 200 ms"
}

speed_line_is() { [ "$(sed -n 27p "$APP_DIR/Quorlin.qlset" | tr -d '\r')" = "$1" ]; }
speed_clicks_are() { [ "$(ldown_count)" = "$1" ]; }
