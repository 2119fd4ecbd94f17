# The command line: a file to open, /play with /loops, /speed and /exit and its exit codes, /?.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

# cl_start DIR ARGS...: starts DIR/Tesmuro.exe with the arguments; sets APP_PID.
cl_start() {
  local dir="$1"; shift
  APP_DIR="$dir"
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(start_program "$dir/Tesmuro.exe" "$@")
  MAIN=(--pid "$APP_PID" --class TFrmMain)
}

cl_folder() {
  local dir
  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1 LoopUntilKey=1
  cp "$dir/Quorlin.qlset" "$TEST_DIR/settings-before"
  printf '%s' "$dir"
}

test_a_file_on_the_command_line_is_opened_and_saved_back() {
  local dir file
  dir=$(cl_folder)
  # Spaces and Chinese in the path, in a locale whose code page (1252) has no Chinese.
  file="$TEST_DIR/我的 脚本/打开 测试.crec"
  mkdir -p "$(dirname "$file")"
  printf '延迟 5\r\n移动 1,2\r\n' | iconv -f UTF-8 -t GBK >"$file"
  cl_start "$dir" "$(winpath "$file")"
  wait_main_window >/dev/null
  poll 5000 script_text_is $'延迟 5\r\n移动 1,2\r\n'
  assert_eq "Tesmuro - $(winpath "$file")" "$(drv info "${MAIN[@]}" --field caption)" "caption"
  drv set-text "${MAIN[@]}" --id 100 $'延迟 6\r\n' >/dev/null
  drv click "${MAIN[@]}" --id 203
  printf '延迟 6\r\n' | iconv -f UTF-8 -t GBK >"$TEST_DIR/want"
  poll 5000 cmp -s "$TEST_DIR/want" "$file"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a box after Save"
}

test_play_without_exit_shows_the_script_marks_its_line_and_saves_only_an_edit() {
  local dir file
  dir=$(cl_folder)
  file="$TEST_DIR/shown.crec"
  printf '移动 5,5\r\n延迟 2500\r\n移动 6,6\r\n' | iconv -f UTF-8 -t GBK >"$file"
  touch -d '2001-02-03 04:05:06' "$file"
  cl_start "$dir" /play "$(winpath "$file")" /loops 1
  wait_main_window >/dev/null
  poll 5000 script_text_is $'移动 5,5\r\n延迟 2500\r\n移动 6,6\r\n'
  # During the delay its line (the second) is marked, as for the box's own Play.
  wait_output 1 "the marked line during the delay" drv send "${MAIN[@]}" --id 100 2047 0 1  # SCI_MARKERNEXT
  wait_output -1 "no mark once the run is over" drv send "${MAIN[@]}" --id 100 2047 0 1
  assert_eq "Tesmuro - $(winpath "$file")" "$(drv info "${MAIN[@]}" --field caption)" "caption"
  # Save of the unedited box leaves the file as it was; an edit saved reaches it.
  drv click "${MAIN[@]}" --id 203
  drv send "${MAIN[@]}" 0 >/dev/null
  assert_eq "2001-02-03 04:05:06" "$(date -r "$file" '+%F %T')" "the file after Save of the unedited box"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a box after Save"
  drv set-text "${MAIN[@]}" --id 100 $'延迟 6\r\n' >/dev/null
  drv click "${MAIN[@]}" --id 203
  printf '延迟 6\r\n' | iconv -f UTF-8 -t GBK >"$TEST_DIR/want"
  poll 5000 cmp -s "$TEST_DIR/want" "$file"
  drv close "${MAIN[@]}" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code"
}

test_play_with_loops_speed_and_exit_ends_with_code_0_and_leaves_the_settings_alone() {
  local dir script
  dir=$(cl_folder)
  script="$TEST_DIR/速度 测试.crec"
  start_input_log --watch "$script"
  hold_pointer
  gbk_script "$script" <<'EOF'
延迟 300
移动 100,60
左键按下
左键释放
延迟 400
移动 130,70
左键按下
左键释放
EOF
  # Mixed case and '-': the settings say "until stopped"; /loops 2 plays two passes at 4 x.
  cl_start "$dir" -PLAY "$(winpath "$script")" /Loops 2 -speed 4 /EXIT
  assert_eq 0 "$(app_exit_code 20000)" "exit code of a run played to the end"
  assert_eq 4 "$(ldown_count)" "clicks of two passes"
  local gap gap2
  gap=$(ldown_gap_ms 1)
  gap2=$(ldown_gap_ms 3)
  echo "the passes' two clicks ${gap} and ${gap2} ms apart (400 ms at 1 x)" >&2
  # Each action is due at the run's start plus the delays before it, so a first click that comes
  # late (a busy machine) shortens the gap after it: a lost delay shows in both passes, a late
  # click in one; a speed not applied makes both too long.
  [ "$gap" -lt 300 ] && [ "$gap2" -lt 300 ] || fail "the clicks are $gap and $gap2 ms apart; at 4 x the 400 ms delay is 100 ms"
  [ "$gap" -ge 30 ] || [ "$gap2" -ge 30 ] || fail "the clicks are $gap and $gap2 ms apart: the 400 ms delay was lost"
  assert_same_file "$TEST_DIR/settings-before" "$dir/Quorlin.qlset" "the switches changed the settings file"
}

test_a_stopped_unattended_run_ends_with_code_1_and_errors_with_code_2_without_a_box() {
  local dir script
  dir=$(cl_folder)
  script="$TEST_DIR/endless.crec"
  printf '延迟 60000\r\n' | iconv -f UTF-8 -t GBK >"$script"
  cl_start "$dir" /play "$(winpath "$script")" /exit
  wait_main_window >/dev/null
  poll 5000 status_is 0 "播放 第1遍"
  xdo key Pause  # the user's emergency stop
  assert_eq 1 "$(app_exit_code)" "exit code of a run the user stopped"

  cl_start "$dir" /play "$(winpath "$TEST_DIR/missing.crec")" /exit
  assert_eq 2 "$(app_exit_code)" "exit code for a missing file"
  cl_start "$dir" /play "$(winpath "$script")" /loops zero /exit
  assert_eq 2 "$(app_exit_code)" "exit code for a bad number"
  cl_start "$dir" /play "$(winpath "$script")" /bogus /exit
  assert_eq 2 "$(app_exit_code)" "exit code for a bad switch"
  assert_same_file "$TEST_DIR/settings-before" "$dir/Quorlin.qlset" "the settings file changed"
}

test_usage_and_a_mistake_without_exit_are_shown() {
  local dir
  dir=$(cl_folder)
  cl_start "$dir" /?
  local box
  box=$(drv msgbox --pid "$APP_PID")
  assert_match $'^Tesmuro\n用法：' "$box" "the usage box"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code after the usage"

  cl_start "$dir" /play
  assert_eq $'系统提示\n/play 后面缺少要播放的文件' "$(drv msgbox --pid "$APP_PID")" "the mistake"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  wait_main_window >/dev/null
  assert_eq "就绪" "$(drv status "${MAIN[@]}" --part 0)" "the program goes on, ready"
}
