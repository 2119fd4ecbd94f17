# Playback: scripts played into the fixture's logger window, loop modes and the stop hot key.
# The logger notes every button, wheel and key message it receives with its time of arrival, and
# watches the script file: the player holds the file open for the whole run and closes it when
# the run is over, so "file closed" in the log marks the end of a playback.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

# Every test holds the X pointer while it plays (hold_pointer, fixture/input_log.sh), so that the
# cursor is only where the player puts it.

# Play F8, Stop F11, hot keys on.
PLAY_KEYS=(StartKey=$VK_F8 StopKey=$VK_F11 ShortCutControl=1)

# play_last_move [FIRST_LINE]: where the cursor last moved in the logger window.
play_last_move() { input_log | tail -n +"${1:-1}" | cut -d' ' -f2- | grep '^move ' | tail -n 1 | cut -d' ' -f2; }

# play_button_events [FIRST_LINE]: the mouse button and wheel lines of the log.
play_button_events() { input_events "${1:-1}" | grep -E '^([lrm](down|up)|wheel) ' || true; }

# play_count REGEX: how many log lines (without time stamps) match ^REGEX$.
play_count() { input_log | cut -d' ' -f2- | grep -Ec "^($1)\$" || true; }
play_count_at_least() { [ "$(play_count "$1")" -ge "$2" ]; }

# play_file FILE: Play button, then the file in its dialog.
play_file() {
  drv click "${MAIN[@]}" --id 206
  drv file-dialog --pid "$APP_PID" "$(winpath "$1")" >/dev/null
}

# play_stop_with_hot_key: presses F11 once the run holds its file, waits for the end of the run
# and sets STOP_KEY_TIME (log time of the press) and STOP_LATENCY, the milliseconds from the key
# press (as the logger's keyboard hook saw it: the
# logger window need not have the focus) to the end of the run. Start the logger with
# --key-hook, and the playback first: the watch must begin after the program opened the file.
play_stop_with_hot_key() {
  start_file_watch
  wait_input_log "file open"
  xdo key F11
  wait_input_log "llkey down $VK_F11"
  STOP_KEY_TIME=$LOG_TIME
  wait_input_log "file closed" 5000
  STOP_LATENCY=$(ms_between "$STOP_KEY_TIME" "$LOG_TIME")
}

test_hand_written_gbk_script_clicks_wheels_and_types_in_order() {
  start_tesmuro "${PLAY_KEYS[@]}"
  local script="$TEST_DIR/动作 脚本.crec"
  start_input_log --watch "$script"
  hold_pointer
  # The pauses let the logger window settle as the active window after the click: injected keys
  # and wheel turns go to the active window. Unknown words and the double click are skipped; a key code above 255 keeps its low byte
  # (322 is B); the wheel amount 65416 is -120 in 16 bits; the numbers after a key code and
  # after a wheel amount change nothing.
  gbk_script "$script" <<'EOF'
延迟 300
移动 100,60
左键按下
左键释放
延迟 20
移动 130,70
右键按下
右键释放
未知 词语 12
中键按下
中键释放
延迟 300
鼠标滚轮 -120 0 0
鼠标滚轮 65416 0 0
鼠标滚轮 120 5 7
按键按下 65 30 0 123 0
按键弹起 65 30 128 4294967295 0
按键按下 16 42 0 1 0
按键按下 322 0 0 0 0
按键弹起 322 0 0 0 0
按键弹起 16 42 128 2 0
左键双击
移动 300,200
EOF
  play_file "$script"
  wait_input_log "keyup 16"
  start_file_watch
  wait_input_log "file closed"
  assert_eq "Tesmuro - $(winpath "$script")" "$(drv info "${MAIN[@]}" --field caption)" "caption during playback"

  local expected
  expected=$'ldown 100,60\nlup 100,60\nrdown 130,70\nrup 130,70\nmdown 130,70\nmup 130,70
wheel -120 130,70\nwheel -120 130,70\nwheel 120 130,70
keydown 65\nchar 97\nkeyup 65\nkeydown 16\nkeydown 66\nchar 66\nkeyup 66\nkeyup 16'
  assert_eq "$expected" "$(input_events)" "what the logger window received"
  assert_eq "300,200" "$(play_last_move)" "cursor after the last move"
}

test_typed_text_arrives_as_its_characters_whatever_the_layout() {
  start_tesmuro "${PLAY_KEYS[@]}"
  local script="$TEST_DIR/文本.crec"
  start_input_log
  hold_pointer
  # The click makes the logger the active window. Each UTF-16 unit arrives as a WM_CHAR: the emoji
  # as its surrogate pair; the line break as the Enter key.
  gbk_script "$script" <<'EOF'
延迟 300
移动 100,60
左键按下
左键释放
延迟 300
输入文本 "Ab\s中文\u{1F600}\n" 5
EOF
  play_file "$script"
  wait_input_log "keyup 13"
  assert_eq $'char 65\nchar 98\nchar 32\nchar 20013\nchar 25991\nchar 55357\nchar 56832\nchar 13' \
    "$(input_events | grep '^char ')" "the characters the logger window received"
}

test_recorded_session_plays_back_the_same_clicks_keys_and_pauses() {
  start_tesmuro RecMouse=1 RecKey=1 RecordKey=$VK_F9 "${PLAY_KEYS[@]}" LoopByCount=1 LoopCount=1
  local script="$TEST_DIR/session.crec"
  start_input_log --watch "$script" --key-hook
  move_pointer 60 50
  xdo key F9
  poll 5000 play_count_at_least "keyup $VK_F9" 1
  move_pointer 150 100
  xdo click 1
  wait_input_log "lup 150,100"
  sleep 0.4  # a pause to be replayed (not a wait for anything)
  move_pointer 400 180
  xdo click 3
  wait_input_log "rup 400,180"
  xdo key b
  wait_input_log "keyup 66"
  xdo key F11
  wait_input_log "keyup $VK_F11"
  drv click "${MAIN[@]}" --id 203
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  poll 10000 test -s "$script"
  # Saved as recorded: it ends with the press of the Stop hot key.
  local last_line
  last_line=$(iconv -f GBK -t UTF-8 "$script" | tail -n 1)
  [[ "$last_line" =~ ^按键按下\ $VK_F11\ [1-9][0-9]*\ 0\ [0-9]+\ 0$'\r'$ ]] ||
    fail "the saved script does not end with the F11 press: $last_line"

  local recorded=$(( $(input_log | wc -l) + 1 ))
  hold_pointer
  play_file "$script"
  wait_input_log "keyup 66"
  start_file_watch
  wait_input_log "file closed"

  # Keys other than the hot keys, and every button, as in the recording.
  local keep='^((keydown|keyup|char) (66|98)|[lr](down|up) .*)$'
  local during after
  during=$(input_log | head -n $((recorded - 1)) | cut -d' ' -f2- | grep -E "$keep")
  after=$(input_log | tail -n +"$recorded" | cut -d' ' -f2- | grep -E "$keep")
  assert_eq $'ldown 150,100\nlup 150,100\nrdown 400,180\nrup 400,180\nkeydown 66\nchar 98\nkeyup 66' "$during" \
    "what the logger received while recording"
  assert_eq "$during" "$after" "playback differs from the recording"
  assert_eq 1 "$(input_log | tail -n +"$recorded" | grep -c " llkey down $VK_F11 injected\$")" "F11 presses replayed"
  assert_eq "400,180" "$(play_last_move "$recorded")" "cursor after the playback"

  # The recorded pause between the left and the right click is kept.
  local t_left t_right rec_gap play_gap
  t_left=$(input_log | head -n $((recorded - 1)) | grep ' lup 150,100$' | cut -d' ' -f1)
  t_right=$(input_log | head -n $((recorded - 1)) | grep ' rdown 400,180$' | cut -d' ' -f1)
  rec_gap=$(ms_between "$t_left" "$t_right")
  t_left=$(input_log | tail -n +"$recorded" | grep ' lup 150,100$' | cut -d' ' -f1)
  t_right=$(input_log | tail -n +"$recorded" | grep ' rdown 400,180$' | cut -d' ' -f1)
  play_gap=$(ms_between "$t_left" "$t_right")
  echo "left to right click: recorded $rec_gap ms, played $play_gap ms" >&2
  # Actions are due at the run's start plus the delays before them: a left click that comes late
  # on a busy machine shortens the gap after it, a lost pause takes it all.
  [ "$play_gap" -ge $((rec_gap / 2)) ] || fail "played back after $play_gap ms; recorded $rec_gap ms apart"
}

test_loop_count_three_plays_the_script_three_times() {
  start_tesmuro "${PLAY_KEYS[@]}" LoopByCount=1 LoopCount=3
  local script="$TEST_DIR/three.crec"
  start_input_log --watch "$script"
  hold_pointer
  gbk_script "$script" <<'EOF'
延迟 50
移动 100,60
左键按下
左键释放
延迟 30
移动 200,100
右键按下
右键释放
EOF
  # Through the Play hot key, which asks for the file like the button.
  xdo key F8
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  wait_input_log "ldown 100,60"
  start_file_watch
  wait_input_log "file closed"
  local pass=$'ldown 100,60\nlup 100,60\nrdown 200,100\nrup 200,100'
  assert_eq "$pass"$'\n'"$pass"$'\n'"$pass" "$(play_button_events)" "buttons of three passes"
}

test_stop_hot_key_cuts_a_one_minute_delay_short() {
  start_tesmuro "${PLAY_KEYS[@]}"
  local script="$TEST_DIR/long.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  gbk_script "$script" <<'EOF'
延迟 100
移动 100,60
左键按下
左键释放
延迟 60000
移动 300,150
左键按下
左键释放
EOF
  play_file "$script"
  wait_input_log "lup 100,60"
  play_stop_with_hot_key
  echo "stop hot key to the end of the run (in a 60 s delay): $STOP_LATENCY ms" >&2
  [ "$STOP_LATENCY" -le 100 ] || fail "the run ended $STOP_LATENCY ms after the stop key"
  assert_eq $'ldown 100,60\nlup 100,60' "$(play_button_events)" "buttons"
  assert_eq "100,60" "$(play_last_move)" "cursor after the stop"
}

test_stop_hot_key_ends_an_endless_loop_within_100_ms() {
  start_tesmuro "${PLAY_KEYS[@]}" LoopUntilKey=1
  local script="$TEST_DIR/endless.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  gbk_script "$script" <<'EOF'
移动 100,60
左键按下
延迟 5
左键释放
延迟 20
EOF
  play_file "$script"
  poll 10000 play_count_at_least "lup 100,60" 3
  play_stop_with_hot_key
  local last last_event
  last=$(input_log | grep -E ' [lrm](down|up) ' | tail -n 1)
  last_event=$(ms_between "$STOP_KEY_TIME" "${last%% *}")
  echo "stop hot key to the end of the run: $STOP_LATENCY ms; to the last button message: $last_event ms" >&2
  [ "$STOP_LATENCY" -le 100 ] || fail "the run ended $STOP_LATENCY ms after the stop key"
  [ "$last_event" -le 100 ] || fail "a button message came $last_event ms after the stop key: $last"
  assert_eq "lup 100,60" "${last#* }" "the last button message (the button must not stay down)"
}

test_a_script_ending_with_the_stop_key_press_loops_on_until_the_user_stops_it() {
  start_tesmuro "${PLAY_KEYS[@]}" LoopUntilKey=1
  local script="$TEST_DIR/self-stop.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  gbk_script "$script" <<EOF
延迟 200
移动 100,60
左键按下
左键释放
延迟 50
按键按下 $VK_F11 0 0 0 0
EOF
  play_file "$script"
  # The played F11 is the script's own key, not the user's: the loop goes on.
  local deadline=$((SECONDS + 20))
  until [ "$(play_count "lup 100,60")" -ge 3 ]; do
    [ $SECONDS -lt $deadline ] || fail "fewer than three passes: $(play_button_events | tr '\n' ' ')"
    sleep 0.05
  done
  start_file_watch
  drv click "${MAIN[@]}" --id 208  # Stop
  wait_input_log "file closed"
  play_count_at_least "llkey down $VK_F11 injected" 2 || fail "the player's F11 presses were not seen"
}

test_pause_lets_go_of_held_keys_and_buttons_and_resume_holds_them_again() {
  start_tesmuro "${PLAY_KEYS[@]}"
  local script="$TEST_DIR/hold.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  # Ctrl and the left button held through a long delay.
  gbk_script "$script" <<'EOF2'
延迟 100
按键按下 17 29 0 0 0
移动 100,60
左键按下
延迟 2000
左键释放
按键弹起 17 29 128 0 0
EOF2
  play_file "$script"
  wait_input_log "ldown 100,60"
  local held=$(( $(input_log | wc -l) + 1 ))
  drv click "${MAIN[@]}" --id 207  # Pause
  wait_input_log "keyup 17"
  wait_input_log "llkey up 17 injected"
  local paused_at=$LOG_TIME
  drv click "${MAIN[@]}" --id 207  # Resume
  start_file_watch
  wait_input_log "file closed"
  poll 5000 play_count_at_least "keyup 17" 2  # the logger may note the end of the run first
  # (Ctrl went down before the click activated the logger window: only its hook saw that.)
  assert_eq "ldown 100,60" "$(input_log | head -n $((held - 1)) | cut -d' ' -f2- | grep -E '^(key|[lr](down|up))')" \
    "held before the pause"
  assert_eq $'lup 100,60\nkeyup 17\nkeydown 17\nldown 100,60\nlup 100,60\nkeyup 17' \
    "$(input_events "$held")" "the pause, the resume and the end of the run"
  # The keyboard hook's view: Ctrl up when the pause took effect, down again on resume.
  assert_eq $'down 17 injected\nup 17 injected\ndown 17 injected\nup 17 injected' \
    "$(input_log | cut -d' ' -f2- | grep '^llkey ' | cut -d' ' -f2-)" "Ctrl as the hook saw it"
  local resumed_at
  resumed_at=$(input_log | grep ' llkey down 17 injected$' | tail -n 1 | cut -d' ' -f1)
  echo "Ctrl released for $(ms_between "$paused_at" "$resumed_at") ms of pause" >&2
  assert_eq "100,60" "$(play_last_move)" "cursor after the run"
}

# play_file_is FILE TEXT: FILE holds TEXT (UTF-8) as GBK.
play_file_is() { [ "$(iconv -f GBK -t UTF-8 "$1" 2>/dev/null)" = "$2" ]; }

test_saving_the_script_that_is_playing_replaces_it_and_the_run_goes_on() {
  start_tesmuro "${PLAY_KEYS[@]}"
  local script="$TEST_DIR/playing.crec"
  start_input_log --watch "$script"
  hold_pointer
  gbk_script "$script" <<'EOF2'
延迟 100
移动 100,60
左键按下
左键释放
延迟 1500
移动 200,100
右键按下
右键释放
EOF2
  # Loaded, so that Save writes to it without asking; then played.
  drv click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$script")" >/dev/null
  poll 5000 script_text_is $'延迟 100\r\n移动 100,60\r\n左键按下\r\n左键释放\r\n延迟 1500\r\n移动 200,100\r\n右键按下\r\n右键释放\r\n'
  play_file "$script"
  wait_input_log "lup 100,60"
  start_file_watch
  wait_input_log "file open"

  # Save while the player holds the file open (inside its 1.5 s delay).
  drv set-text "${MAIN[@]}" --id 100 $'移动 5,5\r\n' >/dev/null
  drv click "${MAIN[@]}" --id 203
  poll 5000 play_file_is "$script" $'移动 5,5\r'
  assert_status 0 drv absent --pid "$APP_PID" --class '#32770' --for 300
  # The run goes on with what it opened.
  wait_input_log "rup 200,100"
  assert_eq $'ldown 100,60\nlup 100,60\nrdown 200,100\nrup 200,100' "$(play_button_events)" "buttons of the run"
  # The old file, moved aside for the save, goes once the player has closed it.
  poll 5000 play_only_file_beside "$script"
}

# play_only_file_beside FILE: FILE is the only script or temporary file in its folder.
play_only_file_beside() {
  [ "$(find "$(dirname "$1")" -maxdepth 1 \( -name '*.crec' -o -name '~*' \) | wc -l)" = 1 ]
}

# process_cpu_ticks: the processor time (user + system, in clock ticks) of the Linux process that
# runs this test's Tesmuro.exe under this test's Wine prefix.
process_cpu_ticks() {
  local p
  for p in /proc/[0-9]*; do
    tr '\0' '\n' <"$p/cmdline" 2>/dev/null | grep -q 'Tesmuro\.exe$' || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
    awk '{ print $14 + $15 }' "$p/stat"
    return 0
  done
  return 1
}

test_an_endless_loop_without_a_delay_leaves_the_processor_alone_and_the_stop_key_ends_it() {
  start_tesmuro "${PLAY_KEYS[@]}" LoopByCount=1 LoopCount=1
  local script="$TEST_DIR/spin.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  gbk_script "$script" <<'EOF'
移动 100,60
重复
结束重复
EOF
  play_file "$script"
  poll 10000 playing
  local t0 t1 c0 c1 hz percent
  hz=$(getconf CLK_TCK)
  c0=$(process_cpu_ticks) || fail "no process for Tesmuro.exe"
  t0=$(e2e_now_ms)
  sleep 2  # the measured stretch (not a wait for anything)
  c1=$(process_cpu_ticks)
  t1=$(e2e_now_ms)
  percent=$(( (c1 - c0) * 1000 * 100 / hz / (t1 - t0) ))
  figure "an endless loop without a delay: ${percent} % of a core over $((t1 - t0)) ms"
  [ "$percent" -lt 10 ] || fail "the loop took $percent % of a core"
  play_stop_with_hot_key
  figure "an endless loop without a delay: stop hot key to the end of the run $STOP_LATENCY ms"
  [ "$STOP_LATENCY" -le 100 ] || fail "the run ended $STOP_LATENCY ms after the stop key"
}
