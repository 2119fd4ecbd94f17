# A hot key for each script, and the notification area: keys bound on the settings dialog's third
# page with real clicks and keys play their scripts while Tesmuro is minimised and another window
# has the focus (Pause ends such a run as any other); with 最小化到通知区域 on, minimising puts the
# program in the notification area, whose menu plays and stops. Uses the playback helpers of
# test_play.sh (play_count, play_count_at_least).

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

SK_DLG=()
SK_HKM_GETHOTKEY=1026  # WM_USER + 2: the hot-key box's key, low byte; modifiers in the high byte

# sk_start MINIMIZE_TO_TRAY NAME=VALUE...: Tesmuro with these settings and lines 30 to 36 as a
# user has them (坐标跟随窗口 on, 10 s wait limit), 最小化到通知区域 (line 36) as given.
sk_start() {
  local tray=$1 dir
  shift
  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1 "$@"
  printf '%s\r\n' 0 1 10 0 0 0 "$tray" >>"$dir/Quorlin.qlset"
  start_app "$dir"
  wait_main_window >/dev/null
  MAIN=(--pid "$APP_PID" --class TFrmMain)
}

# The id of a control of the third page's row (from 0): column 0 key, 1 file, 2 button, 3 passes.
sk_id() { echo $((600 + $1 * 4 + $2)); }

# Opens the settings dialog on its third page with a real click on the tab.
sk_third_page() {
  SK_DLG=(--pid "$APP_PID" --class TFrmSoftwareSetup)
  drv menu-invoke "${MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${SK_DLG[@]}" --visible >/dev/null
  real_click --at 137 10 "${SK_DLG[@]}" --id 400
  wait_output 1 "the third page" drv info "${SK_DLG[@]}" --id "$(sk_id 0 0)" --field visible
}

# sk_bind ROW KEYS HOTKEY_VALUE FILE PASSES: real keys into a row: KEYS (xdotool) into its key box
# until the box holds HOTKEY_VALUE, FILE and PASSES typed into its boxes.
sk_bind() {
  local row=$1 keys=$2 value=$3 file=$4 passes=$5 i
  for i in 1 2 3; do
    real_click "${SK_DLG[@]}" --id "$(sk_id "$row" 0)"
    wait_focus "${SK_DLG[@]}" --id "$(sk_id "$row" 0)"
    xdo key "$keys"
    [ "$(drv send "${SK_DLG[@]}" --id "$(sk_id "$row" 0)" $SK_HKM_GETHOTKEY)" = "$value" ] && break
  done
  assert_eq "$value" "$(drv send "${SK_DLG[@]}" --id "$(sk_id "$row" 0)" $SK_HKM_GETHOTKEY)" "row $row's key"
  real_click "${SK_DLG[@]}" --id "$(sk_id "$row" 1)"
  xdo type "$file"
  wait_output "$file" "row $row's file" drv get-text "${SK_DLG[@]}" --id "$(sk_id "$row" 1)"
  real_click "${SK_DLG[@]}" --id "$(sk_id "$row" 3)"
  xdo key End BackSpace BackSpace
  xdo type "$passes"
  wait_output "$passes" "row $row's passes" drv get-text "${SK_DLG[@]}" --id "$(sk_id "$row" 3)"
}

# The main window is minimised (WS_MINIMIZE in its style).
sk_minimised() { (( $(drv info "${MAIN[@]}" --field style) & 0x20000000 )); }


# A real click on the main window's minimise button.
sk_click_minimise() {
  local point
  point=$(drv nc-point "${MAIN[@]}" minimize)
  xdo mousemove $point
  sleep 0.1
  xdo click 1
}
test_script_keys_bound_on_the_third_page_play_while_minimised() {
  # As a user has it by default: the three hot keys off; the script keys do not need them.
  sk_start 0 ShortCutControl=0
  gbk_script "$APP_DIR/short.crec" <<'EOF'
移动 100,60
左键按下
延迟 5
左键释放
EOF
  gbk_script "$APP_DIR/long.crec" <<'EOF'
移动 200,100
左键按下
延迟 5
左键释放
延迟 30
EOF
  sk_third_page
  shot --keep settings-third-page "$(drv info "${SK_DLG[@]}" --field window)" >/dev/null
  sk_bind 0 ctrl+F5 $((0x274)) short.crec 1
  sk_bind 1 ctrl+F6 $((0x275)) long.crec 1000
  real_click "${SK_DLG[@]}" --id 1
  wait_output 0 "the dialog closed" drv info "${SK_DLG[@]}" --field visible
  # The rows file beside the settings file.
  assert_eq $'Ctrl+F5\t1\tshort.crec\nCtrl+F6\t1000\tlong.crec' \
    "$(tail -n +2 "$APP_DIR/Quorlin.qlkeys" | tr -d '\r')" "the rows file"

  start_input_log --watch "$APP_DIR/long.crec" --key-hook
  sk_click_minimise
  poll 5000 sk_minimised
  # The logger window takes the X focus (keys reach Wine only through a Wine window that has it).
  real_click --at 300 150 "${LOG_WIN[@]}"
  hold_pointer

  xdo key ctrl+F5
  wait_input_log "lup 100,60"
  sk_minimised || fail "the main window came back"
  poll 5000 status_is 0 "就绪"
  assert_eq 1 "$(play_count "lup 100,60")" "passes of the short script"

  # The long one: a thousand passes, until the user's Pause.
  xdo key ctrl+F6
  poll 10000 play_count_at_least "lup 200,100" 3
  start_file_watch
  wait_input_log "file open"
  xdo key Pause
  wait_input_log "llkey down 19"
  local pressed=$LOG_TIME
  wait_input_log "file closed" 5000
  echo "Pause to the end of the run: $(ms_between "$pressed" "$LOG_TIME") ms" >&2
  local clicks
  clicks=$(play_count "lup 200,100")
  sleep 0.3
  assert_eq "$clicks" "$(play_count "lup 200,100")" "clicks after the run ended"
  [ "$clicks" -lt 1000 ] || fail "the run was not cut short: $clicks clicks"
  poll 5000 status_is 0 "就绪"
  sk_minimised || fail "the main window came back"
}

# ---- the notification area ----

SK_TRAY=()  # the taskbar's geometry: W H X Y

# Finds the taskbar that Wine's virtual desktop shows once an icon is in its notification area.
sk_tray() {
  local g
  g=$(drv info --class Shell_TrayWnd --visible --field window) || return 1
  [[ "$g" =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]] || return 1
  SK_TRAY=("${BASH_REMATCH[@]:1}")
}

# sk_icon_pixels red|green: how many pixels of that colour the icon at the taskbar's right end has.
sk_icon_pixels() {
  local w=${SK_TRAY[0]} h=${SK_TRAY[1]} x=${SK_TRAY[2]} y=${SK_TRAY[3]} file="$TEST_DIR/shots/icon.png"
  timeout 30 import -window root -crop "${h}x${h}+$((x + w - h))+$y" +repage "$file" || return 1
  convert "$file" txt:- | awk -v want="$1" -F'[(,)]' '/srgb\(/ {
      r = $(NF - 3) + 0; g = $(NF - 2) + 0; b = $(NF - 1) + 0
      if (want == "green" && g > r + 60 && g > b + 60) n++
      if (want == "red" && r > g + 80 && r > b + 80) n++
    } END { print n + 0 }'
}
sk_icon_has() { [ "$(sk_icon_pixels "$1")" -ge 10 ]; }
sk_icon_lacks() { [ "$(sk_icon_pixels "$1")" -eq 0 ]; }

# sk_tray_menu ITEM: a real right click on the icon, then a real click on the menu's ITEM (0 录制,
# 1 播放, 2 停止, 3 显示主窗口), placed by the menu's height: five rows and a separator.
sk_tray_menu() {
  local w=${SK_TRAY[0]} h=${SK_TRAY[1]} x=${SK_TRAY[2]} y=${SK_TRAY[3]} g row mw mh mx my
  xdo mousemove $((x + w - h / 2)) $((y + h / 2))
  sleep 0.2
  xdo click 3
  g=$(drv wait-window --class '#32768' --visible >/dev/null && drv info --class '#32768' --visible --field window)
  [[ "$g" =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]] || fail "no menu: $g"
  mw=${BASH_REMATCH[1]} mh=${BASH_REMATCH[2]} mx=${BASH_REMATCH[3]} my=${BASH_REMATCH[4]}
  row=$(( (mh - 12) / 5 ))
  local top=$((my + 2 + row * $1 + row / 2))
  [ "$1" -ge 3 ] && top=$((top + 8))
  shot "menu-$1" >/dev/null
  xdo mousemove $((mx + mw / 2)) "$top"
  sleep 0.2
  xdo click 1
}

# sk_text_has TEXT: the script box holds TEXT.
sk_text_has() { local t; get_script_text t && [[ "$t" == *"$1"* ]]; }

test_minimised_to_the_notification_area_its_menu_plays_records_and_stops() {
  sk_start 1 LoopUntilKey=1
  local script="$TEST_DIR/tray.crec"
  # A Shift press the logger's hook sees, without moving the pointer the test clicks with.
  gbk_script "$script" <<'EOF'
按键按下 16 42 0 0 0
延迟 20
按键弹起 16 42 128 0 0
延迟 300
EOF
  start_input_log --watch "$script" --key-hook
  sk_click_minimise
  wait_output 0 "the main window hidden" drv info "${MAIN[@]}" --field visible
  poll 5000 sk_tray
  poll 5000 sk_icon_has red  # the program's own icon while idle
  sk_icon_lacks green
  shot --keep notification-area-idle "${SK_TRAY[1]}x${SK_TRAY[1]}+$((SK_TRAY[2] + SK_TRAY[0] - SK_TRAY[1]))+${SK_TRAY[3]}" \
    >/dev/null

  # 播放, as the Play button: the file dialog, then the run; the icon turns to the play mark.
  sk_tray_menu 1
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  poll 10000 play_count_at_least "llkey down 16 injected" 2
  start_file_watch
  wait_input_log "file open"
  poll 5000 sk_icon_has green
  assert_eq 0 "$(drv info "${MAIN[@]}" --field visible)" "the main window stays hidden"

  sk_tray_menu 2  # 停止
  wait_input_log "file closed" 5000
  poll 5000 status_is 0 "就绪"
  poll 5000 sk_icon_lacks green

  # 录制 and 停止 from the menu: the recording keeps the user's click in the logger, but neither the
  # right click on the icon nor the click on 停止.
  sk_tray_menu 0
  poll 5000 sk_text_has "屏幕 "
  move_pointer 100 60
  xdo click 1
  wait_input_log "lup 100,60"
  sk_tray_menu 2
  poll 5000 status_is 0 "就绪"
  local text
  get_script_text text
  assert_eq 1 "$(grep -c '^左键按下' <<<"${text//$'\r'/}")" "left presses recorded in:"$'\n'"$text"
  assert_eq 0 "$(grep -c '^右键' <<<"${text//$'\r'/}")" "right-button lines recorded in:"$'\n'"$text"
  assert_match $'左键释放\r\n(延迟 [0-9]+\r\n移动 [0-9]+,[0-9]+\r\n)*$' "$text" "what follows the user's click"

  # A double click brings the window back and takes the icon away.
  xdo mousemove $((SK_TRAY[2] + SK_TRAY[0] - SK_TRAY[1] / 2)) $((SK_TRAY[3] + SK_TRAY[1] / 2))
  sleep 0.2
  xdo click --repeat 2 --delay 80 1
  wait_output 1 "the main window back" drv info "${MAIN[@]}" --field visible
  sk_minimised && fail "the main window is still minimised"
  poll 5000 sk_icon_lacks red
}
