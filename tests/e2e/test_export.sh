# A script shared as a program: Tesmuro.exe /export writes a program that carries the script, the
# script it calls and the picture that one waits for; alone in an empty folder, with the original files gone, that program plays
# it under its small notice (the test window gets the click on the picture), ends with the run's
# exit code and writes nothing beside itself; a damaged copy refuses with a box and code 2; the
# user's Pause stops it with code 1.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

EXPORT_TITLE="导出 Target"

# export_program SCRIPT OUT.exe [SWITCHES...]: exports SCRIPT with a fresh Tesmuro.exe whose settings
# play one pass, and checks the export's exit code.
export_program() {
  local script=$1 out=$2 dir
  shift 2
  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1 LoopByCount=1 LoopCount=1
  APP_PID=$(start_program "$dir/Tesmuro.exe" /export "$(winpath "$script")" /o "$(winpath "$out")" "$@")
  assert_eq 0 "$(app_exit_code 30000)" "exit code of the export"
  [ -f "$out" ] || fail "no program written: $out"
}

# The notice of an exported program is up.
wait_notice() { drv wait-window --pid "$APP_PID" --class TesmuroPackedNotice --visible --timeout 15000 >/dev/null; }

export_target_events() { [ -f "$EXPORT_LOG" ] && cut -d' ' -f2- "$EXPORT_LOG" | tr -d '\r'; }
export_target_shown() { grep -qE '^[0-9.]+ shown ' "$EXPORT_LOG"; }

test_an_exported_program_plays_alone_from_an_empty_folder_and_a_damaged_copy_refuses() {
  local src="$TEST_DIR/src" alone="$TEST_DIR/alone" size start
  mkdir -p "$src/pics" "$alone"
  # The picture: a 20x16 patch of the colour the window paints when the test posts for it.
  convert -size 20x16 xc:'#C04010' "PNG32:$src/pics/patch.png"
  # The click is in a called script of its own folder: both are read from the program alone.
  gbk_script "$src/form.crec" <<'EOF2'
延迟 10
调用 "pics/click.crec"
EOF2
  gbk_script "$src/pics/click.crec" <<'EOF2'
点击图像 "patch.png" 0 20
EOF2
  export_program "$src/form.crec" "$TEST_DIR/form.exe"
  mv "$TEST_DIR/form.exe" "$alone/form.exe"
  cp "$alone/form.exe" "$TEST_DIR/damaged.exe"
  rm -r "$src"

  mkdir -p "$TEST_DIR/target"
  cp "$E2E_TOOLS/tesmuro_e2e_target.exe" "$TEST_DIR/target/tesmuro_e2e_target.exe"
  EXPORT_LOG="$TEST_DIR/target.log"
  TARGET_PID=$(start_program "$TEST_DIR/target/tesmuro_e2e_target.exe" --log "$(winpath "$EXPORT_LOG")" \
               --title "$EXPORT_TITLE" --at 20 20 320 240 --color C04010 40 30 100 80 60000)
  poll 10000 export_target_shown
  hold_pointer
  start=$(e2e_now_ms)
  APP_PID=$(start_program "$alone/form.exe")
  wait_notice
  echo "notice up $(( $(e2e_now_ms) - start )) ms after the start"
  drv post --pid "$TARGET_PID" --class TesmuroTarget 32769 >/dev/null
  assert_eq 0 "$(app_exit_code 20000)" "exit code of the exported program"
  # The patch's top left corner is the first place in reading order; its centre is 10,8 from there.
  assert_match $'color\nldown 50,38\nlup 50,38$' "$(export_target_events)" "what the window received"
  assert_eq "form.exe" "$(ls "$alone")" "the program wrote nothing beside itself"

  # One byte changed inside the payload: refused with a box, nothing played.
  size=$(stat -c %s "$TEST_DIR/damaged.exe")
  printf '\xA5' | dd of="$TEST_DIR/damaged.exe" bs=1 seek=$((size - 40)) conv=notrunc status=none
  APP_PID=$(start_program "$TEST_DIR/damaged.exe")
  assert_match '已损坏' "$(drv msgbox --pid "$APP_PID")" "the box of a damaged program"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  assert_eq 2 "$(app_exit_code)" "exit code of a damaged program"
}

test_the_users_pause_stops_an_exported_program_with_code_1() {
  local alone="$TEST_DIR/alone"
  mkdir -p "$alone"
  gbk_script "$TEST_DIR/wait.crec" <<'EOF2'
延迟 60000
EOF2
  export_program "$TEST_DIR/wait.crec" "$alone/wait.exe" /loops 2
  APP_PID=$(start_program "$alone/wait.exe")
  wait_notice
  xdo key Pause  # the user's emergency stop
  assert_eq 1 "$(app_exit_code)" "exit code of a run the user stopped"
}
