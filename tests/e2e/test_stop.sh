# Stopping playback whatever the settings: the emergency stop key (Pause) with the hot keys off,
# the status bar's hint while playing, and a plain Stop key that the system reports as a system key
# (F10). Uses the playback helpers of test_play.sh (play_file, play_count_at_least).

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

VK_PAUSE=19
VK_F10=121
STOP_HINT="按 Pause 键可紧急停止"

# stop_endless_script FILE [EXTRA_LINES]: a script that clicks in the logger window, then the extra
# lines, for ever (played with LoopUntilKey=1).
stop_endless_script() {
  gbk_script "$1" <<EOF
移动 100,60
左键按下
延迟 5
左键释放
延迟 20
${2:-}
EOF
}

# stop_wait_for_end KEY_REGEX: waits until the hook saw the key's press and the run closed its file;
# sets STOP_LATENCY (ms from the press to the end of the run, as the logger saw them).
stop_wait_for_end() {
  wait_input_log "$1"
  local pressed=$LOG_TIME
  wait_input_log "file closed" 5000
  STOP_LATENCY=$(ms_between "$pressed" "$LOG_TIME")
}

test_pause_key_stops_an_endless_run_with_hot_keys_off() {
  # As a user has it by default: hot keys off, no Stop key; the run goes on until stopped.
  start_tesmuro LoopUntilKey=1 ShortCutControl=0 StopKey=0
  assert_eq "v1.0.3" "$(drv status "${MAIN[@]}" --part 3)" "the fourth panel before playing"
  local script="$TEST_DIR/endless.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  # The script presses Pause itself: injected, it must not stop the run.
  stop_endless_script "$script" $'按键按下 19 69 0 0 0\n按键弹起 19 69 128 0 0\n延迟 20'
  play_file "$script"
  poll 10000 play_count_at_least "llkey down $VK_PAUSE injected" 2
  start_file_watch
  wait_input_log "file open"
  local clicks
  clicks=$(play_count "lup 100,60")
  poll 10000 play_count_at_least "lup 100,60" $((clicks + 2))
  input_log_has "file closed" && fail "the script's own Pause ended the run"
  poll 5000 status_is 3 "$STOP_HINT"

  xdo key Pause
  stop_wait_for_end "llkey down $VK_PAUSE"
  echo "Pause key to the end of the run: $STOP_LATENCY ms" >&2
  poll 5000 status_is 3 "v1.0.3"
  # The run is over: a button it pressed is not left down.
  local last
  last=$(input_log | grep -E ' [lrm](down|up) ' | tail -n 1)
  assert_eq "lup 100,60" "${last#* }" "the last button message"
}

test_the_hint_goes_when_a_run_ends_on_its_own() {
  start_tesmuro LoopByCount=1 LoopCount=3 ShortCutControl=0
  local script="$TEST_DIR/three.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  gbk_script "$script" <<'EOF'
移动 100,60
左键按下
左键释放
延迟 300
EOF
  play_file "$script"
  poll 5000 status_is 3 "$STOP_HINT"
  start_file_watch
  wait_input_log "file closed"
  # The player does not report back: the window notices the end on its own.
  poll 5000 status_is 3 "v1.0.3"
  assert_eq 3 "$(play_count "lup 100,60")" "passes"
}

test_plain_f10_stop_key_stops_playback() {
  # F10 arrives as a system key (WM_SYSKEYDOWN).
  start_tesmuro StopKey=$VK_F10 ShortCutControl=1 LoopUntilKey=1
  local script="$TEST_DIR/endless.crec"
  start_input_log --watch "$script" --key-hook
  hold_pointer
  stop_endless_script "$script"
  play_file "$script"
  poll 10000 play_count_at_least "lup 100,60" 3
  start_file_watch
  wait_input_log "file open"
  xdo key F10
  stop_wait_for_end "llkey down $VK_F10"
  echo "F10 stop key to the end of the run: $STOP_LATENCY ms" >&2
  poll 5000 status_is 3 "v1.0.3"
}
