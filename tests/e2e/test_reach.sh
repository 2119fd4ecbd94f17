# Playback that reaches games and other screens: keys with their scan codes, game mode (scan codes
# only, relative motion, recorded from raw input), the side buttons and the horizontal wheel, and
# moves mapped from the screen a script was recorded on. An independent low-level hook and raw
# input in the fixture's logger see what arrives.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

REACH_PLAY=(StartKey=$VK_F8 StopKey=$VK_F11 ShortCutControl=1 LoopByCount=1 LoopCount=1)

reach_play() {
  drv click "${MAIN[@]}" --id 206
  drv file-dialog --pid "$APP_PID" "$(winpath "$1")" >/dev/null
}

# The log lines (without time stamps) that match ^REGEX$, in order.
reach_lines() { input_log | cut -d' ' -f2- | grep -E "^($1)\$" || true; }

test_keys_replay_with_their_scan_codes_and_the_side_buttons_and_horizontal_wheel_arrive() {
  start_tesmuro "${REACH_PLAY[@]}"
  local script="$TEST_DIR/keys.crec"
  start_input_log --scan-hook
  hold_pointer
  # Left arrow as recorded (scan 75, extended); A typed by hand (scan 0: the layout's, 30).
  gbk_script "$script" <<'SCRIPT'
延迟 300
移动 100,60
后退键按下
后退键释放
前进键按下
前进键释放
水平滚轮 240 0 0
按键按下 37 75 1 0 0
按键弹起 37 75 129 0 0
按键按下 65 0 0 0 0
按键弹起 65 0 128 0 0
SCRIPT
  reach_play "$script"
  wait_input_log "llscan up 65 .*"
  assert_eq $'llscan down 37 75 e\nllscan up 37 75 e\nllscan down 65 30 -\nllscan up 65 30 -' \
    "$(reach_lines 'llscan .*')" "keys as an independent hook sees them"
  # (Wine gives the horizontal wheel's point in client coordinates, Windows in screen ones.)
  assert_eq $'x1down 100,60\nx1up 100,60\nx2down 100,60\nx2up 100,60\nhwheel 240' \
    "$(reach_lines '(x[12](down|up)|hwheel) .*' | sed -E 's/^(hwheel -?[0-9]+) .*/\1/')" \
    "side buttons and the horizontal wheel"
}

test_game_mode_plays_keys_as_scan_codes_only_and_relative_motion() {
  start_tesmuro "${REACH_PLAY[@]}" GameMode=1
  local script="$TEST_DIR/game.crec"
  start_input_log --scan-hook --raw-mouse
  # Steps of at most 6: Wine's pointer acceleration doubles larger relative moves.
  gbk_script "$script" <<'SCRIPT'
延迟 300
相对移动 5,3
相对移动 -4,2
按键按下 87 17 0 0 0
按键弹起 87 17 128 0 0
SCRIPT
  reach_play "$script"
  wait_input_log "llscan up [0-9]+ 17 -"
  # Windows derives the virtual key (87) from the scan code; Wine leaves it 0.
  local keys
  keys=$(reach_lines 'llscan .*')
  [[ "$keys" =~ ^llscan\ down\ (0|87)\ 17\ -$'\n'llscan\ up\ (0|87)\ 17\ -$ ]] || fail "keys in game mode: $keys"
  poll 5000 input_log_has "rawmove -4,2"
  # Wine adds motion of its own when it moves the X pointer after the cursor: ours comes in order.
  local raw
  raw=$(reach_lines 'rawmove .*' | paste -sd' ')
  [[ " $raw " =~ \ rawmove\ 5,3\ (.*\ )?rawmove\ -4,2\  ]] || fail "relative motion as raw input: $raw"
}

test_game_mode_records_relative_motion_in_place_of_positions() {
  start_tesmuro RecMouse=1 RecKey=1 RecordKey=$VK_F9 StopKey=$VK_F11 ShortCutControl=1 GameMode=1
  start_input_log
  move_pointer 300 100
  xdo key F9
  poll 5000 script_contains "按键弹起 $VK_F9 "
  local i
  for i in 1 2 3; do
    xdo mousemove_relative -- 5 3
    sleep 0.05
  done
  xdo mousemove_relative -- -4 6
  poll 5000 script_contains "相对移动 -4,6"
  xdo click 1
  wait_input_log "lup .*"
  xdo key F11
  poll 5000 script_contains "按键按下 $VK_F11 "
  local text
  get_script_text text
  local first="${text%%$'\r\n'*}"
  assert_eq "屏幕 0,0,1280,1024,96" "$first" "the first line"
  ! grep -q $'^移动 ' <<<"$text" || fail "a position was recorded in game mode: $text"
  # Every motion as the mouse reported it, in order; the sum is where the moves went.
  local moves
  moves=$(grep -oE '^相对移动 -?[0-9]+,-?[0-9]+' <<<"$text" | cut -d' ' -f2 | paste -sd' ')
  local sx=0 sy=0 m
  for m in $moves; do sx=$((sx + ${m%,*})); sy=$((sy + ${m#*,})); done
  assert_eq "11,15" "$sx,$sy" "the relative motion recorded ($moves)"
  grep -q $'^左键按下\r$' <<<"$text" || fail "the click was not recorded: $text"
}

script_contains() {
  local t
  get_script_text t || return 1
  [[ "$t" == *"$1"* ]]
}

# A script recorded on a 640x512 screen, played on the 1280x1024 test display.
REACH_SMALL_SCREEN=$'屏幕 0,0,640,512,96\n延迟 200\n移动 320,256\n左键按下\n左键释放'

test_moves_recorded_on_another_screen_are_mapped_only_when_asked() {
  # The default settings; Play by a real click on its button.
  start_tesmuro RecMouse=1 RecKey=1 RecJoy=1 RecMouseMsg=1 RecKeyMsg=1 SpeedPercent=100
  local script="$TEST_DIR/small.crec"
  # A long first pause: the logger comes up after the file dialog, before the first move.
  gbk_script "$script" <<<"${REACH_SMALL_SCREEN/延迟 200/延迟 3000}"
  real_click "${MAIN[@]}" --id 206
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  # The logger covers the whole screen, above every other window, so both points land in it.
  start_input_log --at 0 0 1280 1024 --topmost
  hold_pointer
  wait_input_log "lup .*" 15000
  assert_eq "ldown 320,256" "$(reach_lines 'ldown .*')" "with the mapping off: as recorded"
  poll 5000 status_is 2 "录制时屏幕 640x512，现在 1280x1024，坐标未换算"

  # The switch maps for one run: the centre there is the centre here.
  local dir="$APP_DIR"
  drv close "${MAIN[@]}" >/dev/null
  drv wait-exit "$APP_PID" 10000 >/dev/null
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(start_program "$dir/Tesmuro.exe" /play "$(winpath "$script")" /scale /exit)
  assert_eq 0 "$(app_exit_code 15000)" "exit code of the run"
  poll 5000 input_log_has "lup 640,512"
  assert_eq $'ldown 320,256\nldown 640,512' "$(reach_lines 'ldown .*')" "with /scale"
}

test_restart_as_administrator_asks_saves_and_opens_the_same_script_in_a_new_copy() {
  local dir file
  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1
  file="$TEST_DIR/管理员 脚本.crec"
  printf '延迟 5\r\n' | iconv -f UTF-8 -t GBK >"$file"
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(start_program "$dir/Tesmuro.exe" "$(winpath "$file")")
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  wait_main_window >/dev/null
  poll 5000 script_text_is $'延迟 5\r\n'
  local old=$APP_PID
  drv set-text "${MAIN[@]}" --id 100 $'延迟 6\r\n' >/dev/null
  drv menu-invoke "${MAIN[@]}" "文件(&File)" "以管理员身份重新启动(&Run as Administrator)" >/dev/null
  assert_eq $'系统提示\n动作记录已修改，是否保存修改？' "$(drv msgbox --pid "$old" --timeout 10000)" "the question first"
  drv msgbox --pid "$old" --press yes >/dev/null
  assert_eq 0 "$(drv wait-exit "$old" 15000)" "exit code of the copy that restarted"
  printf '延迟 6\r\n' | iconv -f UTF-8 -t GBK >"$TEST_DIR/want"
  cmp -s "$TEST_DIR/want" "$file" || fail "the script was not saved before the restart"
  # The new copy shows the same script (under Wine, which has no elevation, it simply starts).
  local caption="Tesmuro - $(winpath "$file")"
  drv wait-window --class TFrmMain --caption "$caption" --visible --timeout 15000 >/dev/null
  MAIN=(--class TFrmMain --caption "$caption")
  poll 5000 script_text_is $'延迟 6\r\n'
  drv close "${MAIN[@]}" >/dev/null
  drv wait-gone --class TFrmMain --timeout 10000 >/dev/null
}

# The settings a first start writes: the five recording switches on (the mouse capture among
# them), everything else off.
REACH_DEFAULTS=(RecMouse=1 RecKey=1 RecJoy=1 RecMouseMsg=1 RecKeyMsg=1 SpeedPercent=100)

reach_line_of() { sed -n "$1p" "$APP_DIR/Quorlin.qlset" | tr -d '\r'; }

test_game_mode_switched_on_in_the_dialog_records_relative_motion_with_the_default_settings() {
  start_tesmuro "${REACH_DEFAULTS[@]}"
  # Real clicks: the second page, the game mode box, then the confirm button.
  local dlg=(--pid "$APP_PID" --class TFrmSoftwareSetup)
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  real_click --at 95 10 "${dlg[@]}" --id 400
  poll 5000 test "$(drv info "${dlg[@]}" --id 444 --field visible)" = 1
  real_click --at 8 8 "${dlg[@]}" --id 444
  real_click "${dlg[@]}" --id 1
  poll 5000 test "$(reach_line_of 28)" = 1
  assert_eq 0 "$(reach_line_of 29)" "the screen mapping stays off"

  # Record by a real click on its button; the mouse moves only by relative motion; the user's
  # Pause ends the recording (it works with the hot keys off, as they are by default).
  real_click "${MAIN[@]}" --id 205
  poll 5000 status_is 0 "录制中"
  local i
  for i in 1 2 3; do
    xdo mousemove_relative -- 5 3
    sleep 0.05
  done
  poll 5000 script_contains "相对移动"
  xdo key Pause
  poll 5000 status_is 0 "就绪"

  local text moves sx=0 sy=0 m
  get_script_text text
  [[ "$text" == "屏幕 0,0,1280,1024,96"$'\r\n'* ]] || fail "the recording does not start with its screen: $text"
  ! grep -q $'^移动 ' <<<"$text" || fail "a position was recorded in game mode: $text"
  moves=$(grep -oE '^相对移动 -?[0-9]+,-?[0-9]+' <<<"$text" | cut -d' ' -f2 | paste -sd' ')
  for m in $moves; do sx=$((sx + ${m%,*})); sy=$((sy + ${m#*,})); done
  assert_eq "15,9" "$sx,$sy" "the relative motion recorded ($moves)"
  grep -q $'^按键按下 19 ' <<<"$text" || fail "the Pause press that ended the recording was not recorded: $text"
}
