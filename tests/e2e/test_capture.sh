# 截取图像 with real keys and drags: the screen freezes under the picker, the rectangle dragged
# (and nudged with the arrow keys) is saved as a PNG beside the script, equal pixel for pixel to
# that area of the screen, and its 等待图像 line goes in at the caret; Esc gives up and changes
# nothing. The picture is taken over the test window (fixture/target_window.cpp) with a coloured
# patch, its frame and the desktop around it, clear of the main window and of any caption.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

PICKER=(--class TesmuroAreaPicker)

# A main window that stands in front and takes the keys: a real click on its caption.
capture_focus_main() {
  local x y
  read -r x y < <(drv nc-point caption "${MAIN[@]}")
  xdo mousemove "$x" "$y"
  sleep 0.1
  xdo click 1
  sleep 0.3
}

test_capture_saves_the_dragged_area_and_inserts_its_wait() {
  local scripts="$TEST_DIR/scripts" target_log="$TEST_DIR/target.log" dir
  mkdir -p "$scripts"
  printf '%s\n' '延迟 100' | gbk_script "$scripts/s.crec"
  mkdir -p "$TEST_DIR/target"
  cp "$E2E_TOOLS/tesmuro_e2e_target.exe" "$TEST_DIR/target/"
  start_program "$TEST_DIR/target/tesmuro_e2e_target.exe" --log "$(winpath "$target_log")" --at 40 40 320 240 \
    --color C03020 20 20 60 40 0 >/dev/null
  poll 10000 grep -q ' color' "$target_log"

  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset" RecMouse=1 RecKey=1
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(start_program "$dir/Tesmuro.exe" "$(winpath "$scripts/s.crec")")
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  wait_main_window >/dev/null
  poll 10000 script_text_is $'延迟 100\r\n'
  capture_focus_main
  local before
  before=$(shot before)

  # Ctrl+Shift+I: the main window steps aside, the picker covers the screen.
  xdo key ctrl+shift+i
  drv wait-window "${PICKER[@]}" --pid "$APP_PID" --visible >/dev/null
  assert_eq 0 "$(drv info "${MAIN[@]}" --field visible)" "the main window steps aside"
  assert_eq 1280x1024+0+0 "$(drv info "${PICKER[@]}" --pid "$APP_PID" --field window)" "the picker covers the screen"
  sleep 0.3
  shot --keep capture-picker >/dev/null
  # Drag from 30,100 to 139,299 (both corners inside), then move it 2 right and 1 down and make it
  # one pixel narrower: 32,101 109x200.
  xdo mousemove 30 100
  xdo mousedown 1
  xdo mousemove 80 180
  xdo mousemove 139 299
  sleep 0.3
  shot --keep capture-drag >/dev/null
  xdo mouseup 1
  xdo key Right Right Down shift+Left
  sleep 0.2
  xdo key Return

  # The Save As dialog proposes 图像1.png in the script's folder.
  drv wait-window --pid "$APP_PID" --class '#32770' --visible >/dev/null
  assert_eq "图像1.png" "$(drv get-text --pid "$APP_PID" --class '#32770' --id 1148)" "proposed name"
  drv file-dialog --pid "$APP_PID" "图像1.png" >/dev/null
  poll 10000 script_text_is $'等待图像 "图像1.png" 0 10 32,101,109,200\r\n延迟 100\r\n'
  assert_eq 1 "$(drv info "${MAIN[@]}" --field visible)" "the main window is back"
  assert_eq 0 "$(drv count "${PICKER[@]}" --pid "$APP_PID" --visible)" "the picker is gone"

  local saved="$scripts/图像1.png" ref="$TEST_DIR/shots/ref.png" diff
  [ -f "$saved" ] || fail "no picture saved"
  convert "$before" -crop 109x200+32+101 +repage "$ref"
  assert_eq 109x200 "$(identify -format %wx%h "$saved")" "picture size"
  diff=$(compare -metric AE "$ref" "$saved" null: 2>&1) || true
  assert_eq 0 "$diff" "pixels that differ from the screen"

  # Esc on the frozen screen: no picture, no line, the window back.
  xdo key ctrl+shift+i
  drv wait-window "${PICKER[@]}" --pid "$APP_PID" --visible >/dev/null
  xdo mousemove 400 400 mousedown 1 mousemove 500 500 mouseup 1
  xdo key Escape
  wait_output 1 "the main window is back after Esc" drv info "${MAIN[@]}" --field visible
  assert_eq 0 "$(drv count "${PICKER[@]}" --pid "$APP_PID" --visible)" "the picker is gone after Esc"
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770' --visible)" "no dialog after Esc"
  assert_script_text $'等待图像 "图像1.png" 0 10 32,101,109,200\r\n延迟 100\r\n' "the text after Esc"
  assert_file_absent "$scripts/图像2.png"
}
