# Playback that waits for windows, colours and pictures: the window a script names is found where it opened
# now, waited for while it is not there yet, brought to the front for keys; 等待窗口 and 等待颜色 wait
# for what they name; a run that stops on a line of its script says which line and why.
# The window is the test window program (fixture/target_window.cpp), which logs the clicks and
# keys it receives in its client coordinates.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

WAITS_TITLE="目标 Target"
SCI_MARKERNEXT=2047
PLAY_MEMO_ID=210

# waits_folder: an app folder whose settings play one pass; prints it.
waits_folder() {
  local dir
  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1 LoopByCount=1 LoopCount=1
  printf '%s' "$dir"
}

# start_target [OPTIONS...]: starts the test window program (see its options) under its own name,
# titled WAITS_TITLE; sets TARGET_PID and TARGET_LOG (a fresh log each time).
start_target() {
  mkdir -p "$TEST_DIR/target"
  cp "$E2E_TOOLS/tesmuro_e2e_target.exe" "$TEST_DIR/target/tesmuro_e2e_target.exe"
  TARGET_LOG="$TEST_DIR/target-$(date +%s%N).log"
  TARGET_PID=$(start_program "$TEST_DIR/target/tesmuro_e2e_target.exe" --log "$(winpath "$TARGET_LOG")" \
               --title "$WAITS_TITLE" "$@")
}

# The target's log without time stamps.
target_events() { [ -f "$TARGET_LOG" ] && cut -d' ' -f2- "$TARGET_LOG" | tr -d '\r'; }
target_shown_line() { grep -E '^[0-9.]+ shown -?[0-9]+,-?[0-9]+,[0-9]+,[0-9]+ -?[0-9]+,-?[0-9]+$' "$TARGET_LOG"; }

# wait_target_shown [TIMEOUT_MS]: waits until the window is on the screen; sets TARGET_RECT
# (L,T,W,H) and CLIENT_X, CLIENT_Y (where its client area starts on the screen).
wait_target_shown() {
  poll "${1:-10000}" target_shown_line
  local stamp event client
  read -r stamp event TARGET_RECT client <<<"$(target_shown_line)"
  CLIENT_X=${client%,*}
  CLIENT_Y=${client#*,}
}

# window_line L,T,W,H: the window line of the test window as recorded at that rectangle.
window_line() {
  printf '窗口 win "tesmuro_e2e_target.exe" "TesmuroTarget" "%s" %s' "${WAITS_TITLE// /\\s}" "$1"
}

# play_script DIR SCRIPT [SWITCHES...]: Tesmuro.exe /play SCRIPT SWITCHES from DIR; sets APP_PID and MAIN.
play_script() {
  local dir=$1 script=$2
  shift 2
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(start_program "$dir/Tesmuro.exe" /play "$(winpath "$script")" "$@")
  MAIN=(--pid "$APP_PID" --class TFrmMain)
}

# play_in_box TEXT: a fresh Tesmuro plays TEXT (UTF-8, CR LF) from its script box with
# 播放当前动作记录 and stays open; sets APP_PID and MAIN.
play_in_box() {
  start_tesmuro LoopByCount=1 LoopCount=1
  drv set-text "${MAIN[@]}" --id 100 "$1" >/dev/null
  drv click "${MAIN[@]}" --id $PLAY_MEMO_ID >/dev/null
}

# show_patch_target: patch.png in TEST_DIR, a 20x16 patch of the colour the test window paints at
# client 40,30 when the test posts for it (not before), and that window shown at 20,20.
show_patch_target() {
  convert -size 20x16 xc:'#C04010' "PNG32:$TEST_DIR/patch.png"
  start_target --at 20 20 320 240 --color C04010 40 30 100 80 60000
  wait_target_shown
}

# The target's log has a line (without its time stamp) that reads $1.
target_has() { target_events | grep -qx "$1"; }

# The main window is not minimised (WS_MINIMIZE clear).
main_window_restored() { (( ($(drv info "${MAIN[@]}" --field style) & 0x20000000) == 0 )); }


# The first line (from 0) with the played-line mark, -1 when none.
marked_line() { drv send "${MAIN[@]}" --id 100 $SCI_MARKERNEXT 0 1; }

test_a_click_lands_on_the_same_client_point_of_a_window_that_opened_elsewhere() {
  local dir script recorded x y
  dir=$(waits_folder)
  # Recorded with the window at 60,80.
  start_target --at 60 80 320 240
  wait_target_shown
  recorded=$TARGET_RECT
  x=$((CLIENT_X + 70)) y=$((CLIENT_Y + 45))
  drv kill "$TARGET_PID" >/dev/null
  script="$TEST_DIR/follow.crec"
  gbk_script "$script" <<EOF
移动 $x,$y
延迟 50
$(window_line "$recorded")
左键按下
延迟 20
左键释放
EOF
  # It opens in the middle of the screen now, where the main window that a /play at start-up shows
  # covers that point of it: the main window steps aside for the run and comes back after it.
  start_target --at 500 420 320 240
  wait_target_shown
  hold_pointer
  play_script "$dir" "$script"
  wait_main_window >/dev/null
  poll 15000 target_has "lup 70,45"
  assert_eq $'shown 500,420,320,240 '"$CLIENT_X,$CLIENT_Y"$'\nldown 70,45\nlup 70,45' "$(target_events)" \
    "what the window received"
  poll 5000 main_window_restored
  local geometry
  geometry=$(drv info "${MAIN[@]}" --field window)
  [[ "$geometry" =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]] || fail "no geometry: $geometry"
  x=$((CLIENT_X + 70)) y=$((CLIENT_Y + 45))
  (( x >= BASH_REMATCH[3] && x < BASH_REMATCH[3] + BASH_REMATCH[1] &&
     y >= BASH_REMATCH[4] && y < BASH_REMATCH[4] + BASH_REMATCH[2] )) ||
    fail "the main window ($geometry) does not cover the click at $x,$y: nothing stood in the way"
}

test_a_window_that_opens_3_s_late_is_waited_for_and_clicked_once_it_is_there() {
  local dir script
  dir=$(waits_folder)
  script="$TEST_DIR/late.crec"
  gbk_script "$script" <<EOF
移动 160,200
$(window_line 60,80,320,240)
左键按下
左键释放
EOF
  hold_pointer
  play_script "$dir" "$script" /exit
  wait_main_window >/dev/null
  poll 10000 playing
  # The run waits for the window, which opens 3 s from now.
  start_target --at 60 80 320 240 --delay 3000
  assert_eq 0 "$(app_exit_code 20000)" "exit code"
  wait_target_shown 0
  # A click before the window was there would have gone to the desktop and never reached it.
  assert_eq "shown 60,80,320,240 $CLIENT_X,$CLIENT_Y"$'\n'"ldown $((160 - CLIENT_X)),$((200 - CLIENT_Y))
lup $((160 - CLIENT_X)),$((200 - CLIENT_Y))" "$(target_events)" "what the window received"
}

test_a_key_brings_its_window_to_the_front_before_it_goes() {
  local dir script
  dir=$(waits_folder)
  start_target --at 40 40 320 240
  wait_target_shown
  script="$TEST_DIR/key.crec"
  # The main window that the /play shows takes the front from the test window.
  gbk_script "$script" <<EOF
延迟 300
$(window_line "$TARGET_RECT")
按键按下 65 30 0 0 0
按键弹起 65 30 128 0 0
EOF
  play_script "$dir" "$script" /exit
  assert_eq 0 "$(app_exit_code 20000)" "exit code"
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y"$'\nkeydown 65' "$(target_events)" "what the window received"
}

test_a_window_that_never_comes_ends_the_run_at_the_limit_naming_its_line() {
  local dir script t0 code elapsed
  dir=$(waits_folder)
  script="$TEST_DIR/never.crec"
  gbk_script "$script" <<'EOF'
延迟 20
等待窗口 "没有这个窗口" 2
移动 10,10
EOF
  t0=$(e2e_now_ms)
  play_script "$dir" "$script" /exit
  code=$(app_exit_code 20000)
  elapsed=$(($(e2e_now_ms) - t0))
  assert_eq 4 "$code" "exit code of a run whose wait ran out"
  [ "$elapsed" -ge 2000 ] || fail "the run ended after $elapsed ms, before its 2 s limit"

  # Played from the box and left open: the status bar names the line, the box marks it.
  play_in_box $'延迟 20\r\n等待窗口 "没有这个窗口" 2\r\n移动 10,10\r\n'
  poll 15000 status_is 3 "第 2 行：等待窗口“没有这个窗口”超过 2 秒，回放已停止"
  wait_output 1 "the marked line" marked_line
}

test_wait_for_a_colour_holds_the_click_until_the_window_shows_it() {
  local dir script x y
  dir=$(waits_folder)
  # The colour comes when the test posts for it (or after a minute).
  start_target --at 20 20 320 240 --color C04010 40 30 100 80 60000
  wait_target_shown
  x=$((CLIENT_X + 80)) y=$((CLIENT_Y + 60))
  script="$TEST_DIR/colour.crec"
  gbk_script "$script" <<EOF
等待颜色 $x,$y C04010 8 20
移动 $x,$y
左键按下
左键释放
EOF
  hold_pointer
  play_script "$dir" "$script" /exit
  wait_main_window >/dev/null
  poll 10000 playing
  sleep 0.3  # the run looks at the pixel meanwhile (not a wait for anything)
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y" "$(target_events)" "nothing clicked before the colour"
  drv post --pid "$TARGET_PID" --class TesmuroTarget 32769 >/dev/null
  assert_eq 0 "$(app_exit_code 20000)" "exit code"
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y"$'\ncolor\nldown 80,60\nlup 80,60' "$(target_events)" \
    "what the window received"
}

# The status bar's panel N starts with TEXT.
status_starts() { [[ "$(drv status "${MAIN[@]}" --part "$1" 2>/dev/null)" == "$2"* ]]; }

test_a_wait_for_a_key_holds_the_click_until_the_user_presses_it() {
  local dir script x y
  dir=$(waits_folder)
  start_target --at 20 20 320 240
  wait_target_shown
  script="$TEST_DIR/key_wait.crec"
  gbk_script "$script" <<'EOF'
延迟 10
等待按键 F8 60
移动 160,200
左键按下
左键释放
EOF
  hold_pointer
  play_script "$dir" "$script" /exit
  wait_main_window >/dev/null
  poll 15000 status_starts 3 "第 2 行：等待按键 F8… "
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y" "$(target_events)" "nothing clicked before the key"
  xdo key F8
  assert_eq 0 "$(app_exit_code 20000)" "exit code"
  x=$((160 - CLIENT_X)) y=$((200 - CLIENT_Y))
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y"$'\n'"ldown $x,$y"$'\n'"lup $x,$y" "$(target_events)" \
    "what the window received"
}

test_a_key_code_that_is_not_a_number_stops_the_run_naming_its_line() {
  local dir script
  dir=$(waits_folder)
  script="$TEST_DIR/bad.crec"
  gbk_script "$script" <<'EOF'
延迟 10
移动 5,5
按键按下 A 0 0 0 0
延迟 10
EOF
  play_script "$dir" "$script" /exit
  assert_eq 2 "$(app_exit_code 20000)" "exit code of a script that cannot be played"

  play_in_box $'延迟 10\r\n移动 5,5\r\n按键按下 A 0 0 0 0\r\n延迟 10\r\n'
  poll 10000 status_is 3 "第 3 行：按键或滚轮的代码不是数字，回放已停止"
  wait_output 2 "the marked line" marked_line
}

test_click_image_clicks_a_picture_once_it_shows_an_absent_one_ends_with_4_a_refused_one_with_2() {
  local dir script
  dir=$(waits_folder)
  show_patch_target
  script="$TEST_DIR/picture.crec"
  gbk_script "$script" <<'EOF2'
点击图像 "patch.png" 0 20
EOF2
  hold_pointer
  play_script "$dir" "$script" /exit
  wait_main_window >/dev/null
  poll 10000 playing
  sleep 0.3  # the run looks for the picture meanwhile (not a wait for anything)
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y" "$(target_events)" "nothing clicked before the picture"
  drv post --pid "$TARGET_PID" --class TesmuroTarget 32769 >/dev/null
  assert_eq 0 "$(app_exit_code 20000)" "exit code"
  # The first place in reading order is the patch's top left corner; its centre is 10,8 from there.
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y"$'\ncolor\nldown 50,38\nlup 50,38' "$(target_events)" \
    "what the window received"

  # A picture that never shows ends the run at its limit with exit code 4.
  convert -size 8x8 xc:'#123456' "PNG32:$TEST_DIR/absent.png"
  script="$TEST_DIR/absent.crec"
  gbk_script "$script" <<'EOF2'
延迟 10
等待图像 "absent.png" 0 2
左键按下
EOF2
  play_script "$dir" "$script" /exit
  assert_eq 4 "$(app_exit_code 20000)" "exit code of a picture that never showed"

  # A picture wider than the screen (1280x1024) is refused from its header, and a damaged one
  # (its only data chunk empty, no end) is refused: each ends the run on its line with code 2.
  convert -size 1300x8 xc:'#123456' "PNG32:$TEST_DIR/wide.png"
  printf '\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\0IDAT5\xaf\x06\x1e' \
    >"$dir/damaged.png"  # the box's relative names are taken from the current folder, the program's
  script="$TEST_DIR/wide.crec"
  gbk_script "$script" <<'EOF2'
延迟 10
点击图像 "wide.png" 0 2
左键按下
EOF2
  play_script "$dir" "$script" /exit
  assert_eq 2 "$(app_exit_code 20000)" "exit code of a picture larger than the screen"
  play_in_box $'延迟 10\r\n等待图像 "damaged.png" 0 2\r\n左键按下\r\n'
  poll 10000 status_is 3 "第 2 行：图像文件无法读取：damaged.png，回放已停止"
  wait_output 1 "the marked line" marked_line
}

# covers_point X Y: the main window of the run covers the screen point X,Y.
covers_point() {
  local geometry
  geometry=$(drv info "${MAIN[@]}" --field window)
  [[ "$geometry" =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]] || fail "no geometry: $geometry"
  (( $1 >= BASH_REMATCH[3] && $1 < BASH_REMATCH[3] + BASH_REMATCH[1] &&
     $2 >= BASH_REMATCH[4] && $2 < BASH_REMATCH[4] + BASH_REMATCH[2] )) ||
    fail "the main window ($geometry) does not cover $1,$2"
}

# Under Wine a press right after a move used to act at the pointer's previous place now and then,
# most often when the pointer had rested over a window (ours or any other): every button now
# carries the place of the move before it. Without hold_pointer, as a user's desktop is.
test_clicks_0_ms_after_their_moves_land_on_the_point_after_the_pointer_rested_over_the_main_window() {
  local dir script i x y lines="延迟 2500"$'\n' expected="" runs
  dir=$(waits_folder)
  start_target --at 20 20 320 240
  wait_target_shown
  # The main window that /play shows stands in the middle of the screen, under the pointer. The
  # pointer rests there 2.5 s, then goes there again for 0.3 s before each of the 20 clicks.
  for ((i = 0; i < 20; i++)); do
    x=$((10 + (i * 37) % 280)) y=$((10 + (i * 23) % 180))
    lines+="移动 640,512"$'\n'"延迟 300"$'\n'"移动 $((CLIENT_X + x)),$((CLIENT_Y + y))"$'\n'"延迟 0"$'\n'
    lines+="左键按下"$'\n'"左键释放"$'\n'
    expected+="ldown $x,$y"$'\n'"lup $x,$y"$'\n'
  done
  script="$TEST_DIR/twenty.crec"
  printf '%s' "$lines" | gbk_script "$script"
  xdo mousemove 640 512
  play_script "$dir" "$script" /exit
  wait_main_window >/dev/null
  covers_point 640 512
  assert_eq 0 "$(app_exit_code 30000)" "exit code"
  assert_eq "${expected%$'\n'}" "$(target_events | grep -v '^shown')" "the 20 clicks in the window"

  # The first click of a run, in runs of their own.
  for runs in 1 2 3; do
    x=$((40 * runs)) y=$((30 * runs))
    script="$TEST_DIR/first-$runs.crec"
    printf '延迟 2500\n移动 %d,%d\n延迟 0\n左键按下\n左键释放\n' $((CLIENT_X + x)) $((CLIENT_Y + y)) | gbk_script "$script"
    xdo mousemove 640 512
    play_script "$dir" "$script" /exit
    assert_eq 0 "$(app_exit_code 20000)" "exit code"
    expected+="ldown $x,$y"$'\n'"lup $x,$y"$'\n'
    assert_eq "${expected%$'\n'}" "$(target_events | grep -v '^shown')" "the first click of run $runs"
  done
}

# A colour and a picture under the main window that /play shows: it steps aside for the looks and
# comes back after the run; 点击图像 clicks the picture although the pointer rested over the main
# window (and in two more runs started the same way).
test_a_colour_and_a_picture_under_the_main_window_are_found_and_clicked() {
  local dir script sx sy runs
  dir=$(waits_folder)
  convert -size 20x16 xc:'#C04010' "PNG32:$dir/patch.png"
  start_target --at 300 300 320 240 --color C04010 10 10 60 40 0
  wait_target_shown
  poll 5000 target_has color
  sx=$((CLIENT_X + 30)) sy=$((CLIENT_Y + 30))
  script="$dir/under.crec"
  printf '等待颜色 %d,%d C04010 8 5\n点击图像 "patch.png" 8 5\n' "$sx" "$sy" | gbk_script "$script"
  xdo mousemove 640 512
  play_script "$dir" "$script"
  wait_main_window >/dev/null
  poll 15000 target_has "lup 20,18"
  poll 5000 main_window_restored
  covers_point "$sx" "$sy"
  drv kill "$APP_PID" >/dev/null
  for runs in 1 2; do
    xdo mousemove 640 512
    play_script "$dir" "$script" /exit
    assert_eq 0 "$(app_exit_code 20000)" "exit code of run $runs"
  done
  # The patch's top-left corner is the first place in reading order; its centre is 10,8 from there.
  assert_eq $'color\nldown 20,18\nlup 20,18\nldown 20,18\nlup 20,18\nldown 20,18\nlup 20,18' \
    "$(target_events | grep -v '^shown')" "what the window received"
}

# 如果 asks a wait and plays the part it chooses; the run goes on either way and ends with 0.
test_an_if_clicks_the_picture_when_it_shows_and_plays_the_other_part_when_it_does_not() {
  local dir script
  dir=$(waits_folder)
  show_patch_target
  script="$TEST_DIR/if.crec"
  gbk_script "$script" <<EOF2
如果 点击图像 "patch.png" 0 1
延迟 10
否则
移动 $((CLIENT_X + 5)),$((CLIENT_Y + 5))
左键按下
左键释放
结束如果
移动 $((CLIENT_X + 200)),$((CLIENT_Y + 150))
左键按下
左键释放
EOF2
  hold_pointer
  play_script "$dir" "$script" /exit
  assert_eq 0 "$(app_exit_code 20000)" "exit code when the picture did not show"
  drv post --pid "$TARGET_PID" --class TesmuroTarget 32769 >/dev/null
  poll 5000 target_has color
  play_script "$dir" "$script" /exit
  assert_eq 0 "$(app_exit_code 20000)" "exit code when it showed"
  assert_eq "shown $TARGET_RECT $CLIENT_X,$CLIENT_Y"$'\nldown 5,5\nlup 5,5\nldown 200,150\nlup 200,150\ncolor\nldown 50,38\nlup 50,38\nldown 200,150\nlup 200,150' \
    "$(target_events)" "the other part's click, then the picture's"
}

# 重复 5 of a click, then a script of the same folder called twice; a script whose blocks do not
# fit plays nothing, ends with 2, and the box marks its line red as the user types it.
test_a_loop_clicks_five_times_a_called_script_plays_in_the_run_and_a_broken_block_stops_it_first() {
  local dir script
  dir=$(waits_folder)
  start_target --at 20 20 320 240
  wait_target_shown
  script="$TEST_DIR/loop.crec"
  gbk_script "$script" <<EOF2
移动 $((CLIENT_X + 10)),$((CLIENT_Y + 10))
重复 5
左键按下
左键释放
结束重复
调用 "点击.crec" 2
EOF2
  gbk_script "$TEST_DIR/点击.crec" <<EOF2
移动 $((CLIENT_X + 30)),$((CLIENT_Y + 20))
左键按下
左键释放
EOF2
  hold_pointer
  play_script "$dir" "$script" /exit
  assert_eq 0 "$(app_exit_code 20000)" "exit code"
  assert_eq 5 "$(target_events | grep -cx 'lup 10,10')" "clicks of the loop"
  assert_eq 2 "$(target_events | grep -cx 'lup 30,20')" "clicks of the called script"
  [ "$(target_events | tail -n 1)" = "lup 30,20" ] || fail "the called script did not play after the loop"

  gbk_script "$script" <<EOF2
移动 $((CLIENT_X + 10)),$((CLIENT_Y + 10))
重复 5
左键按下
左键释放
EOF2
  play_script "$dir" "$script" /exit
  assert_eq 2 "$(app_exit_code 20000)" "exit code of a block that does not close"
  assert_eq 5 "$(target_events | grep -cx 'lup 10,10')" "clicks: none more"
  play_in_box $'移动 10,10\r\n重复 5\r\n左键按下\r\n标签 a\r\n'
  poll 15000 status_is 3 "第 2 行：重复没有对应的结束重复，脚本没有播放"
  # Marker 3: the line the structure pass found, marked while the text stands in the box.
  wait_output 1 "the line marked red" drv send "${MAIN[@]}" --id 100 $SCI_MARKERNEXT 0 8
}
