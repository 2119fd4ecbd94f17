# The script box as the user meets it: typing, the clipboard keys and undo with real keys, Go to line
# and Find, playing the box's text with 播放当前动作记录, the mark on the line being played, and a
# breakpoint with F9, F5 and F10.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

# The editing component's messages the tests ask the box.
SCI_GETCURRENTPOS=2008
SCI_LINEFROMPOSITION=2166
SCI_GETSELECTIONSTART=2143
SCI_GETSELECTIONEND=2145
SCI_MARKERNEXT=2047
SCI_GETFIRSTVISIBLELINE=2152
SCI_LINESONSCREEN=2370
SCI_VISIBLEFROMDOCLINE=2220
PLAY_MEMO_ID=210

box() { drv "$1" "${MAIN[@]}" --id 100 "${@:2}"; }
# The line (0-based) of the caret.
caret_line() { box send $SCI_LINEFROMPOSITION "$(box send $SCI_GETCURRENTPOS)"; }
# The first line with the played-line mark, -1 when none.
marked_line() { box send $SCI_MARKERNEXT 0 1; }
box_text_is() { script_text_is "$1"; }

test_typing_the_clipboard_keys_and_undo_work_with_real_keys() {
  start_tesmuro
  # A Chinese line first, through the window text (UTF-16), then typing after it.
  drv set-text "${MAIN[@]}" --id 100 $'延迟 5\r\n' >/dev/null
  real_click "${MAIN[@]}" --id 100
  xdo key ctrl+End
  xdo type 'abc'
  xdo key Return
  xdo type 'def'
  poll 5000 box_text_is $'延迟 5\r\nabc\r\ndef'
  # Select all, copy, paste at the end: the text twice, Chinese included (the clipboard is UTF-16).
  xdo key ctrl+a ctrl+c ctrl+End ctrl+v
  poll 5000 box_text_is $'延迟 5\r\nabc\r\ndef延迟 5\r\nabc\r\ndef'
  # Several steps of undo (typing is undone a line at a time), then redo.
  xdo key ctrl+z
  poll 5000 box_text_is $'延迟 5\r\nabc\r\ndef'
  xdo key ctrl+z
  sleep 0.3
  local step
  get_script_text step
  assert_eq $'延迟 5\r\nabc' "$step" "after undoing the paste and the last typed line"
  xdo key ctrl+z ctrl+z ctrl+z ctrl+z ctrl+z
  poll 5000 box_text_is $'延迟 5\r\n'
  xdo key ctrl+y ctrl+y ctrl+y ctrl+y ctrl+y ctrl+y
  poll 5000 box_text_is $'延迟 5\r\nabc\r\ndef延迟 5\r\nabc\r\ndef'
  # Cut everything, paste it back.
  xdo key ctrl+a ctrl+x
  poll 5000 box_text_is ''
  xdo key ctrl+v
  poll 5000 box_text_is $'延迟 5\r\nabc\r\ndef延迟 5\r\nabc\r\ndef'
  # Typing is a change: closing asks about it.
  drv post "${MAIN[@]}" 16 >/dev/null  # WM_CLOSE
  drv msgbox --pid "$APP_PID" --press cancel >/dev/null
  assert_eq 1 "$(drv info "${MAIN[@]}" --field visible)" "the window stays after Cancel"
}

test_go_to_line_and_find_in_chinese_dialogs() {
  start_tesmuro
  drv set-text "${MAIN[@]}" --id 100 $'延迟 5\r\n移动 1,2\r\n延迟 7\r\n移动 3,4\r\n左键按下\r\n' >/dev/null
  real_click "${MAIN[@]}" --id 100
  xdo key ctrl+Home

  xdo key ctrl+g
  local dlg=(--pid "$APP_PID" --class '#32770' --caption 转到指定行)
  drv wait-window "${dlg[@]}" --visible >/dev/null
  assert_eq "行号(1 - 6)(&L):" "$(drv get-text "${dlg[@]}" --id 1000)" "the range in the label"
  # Out of range: refused with a message, the dialog stays.
  drv set-text "${dlg[@]}" --id 1001 99 >/dev/null
  drv click "${dlg[@]}" --id 1 >/dev/null
  assert_eq $'系统提示\n行号超出范围：请输入 1 到 6 之间的数。' "$(drv msgbox --pid "$APP_PID" --press ok)" "refusal"
  drv set-text "${dlg[@]}" --id 1001 4 >/dev/null
  drv click "${dlg[@]}" --id 1 >/dev/null
  drv wait-gone "${dlg[@]}" >/dev/null
  wait_output 3 "caret line after Go to line 4" caret_line

  # Find from line 4 on: the next 延迟 is on line 1 again (the search wraps round).
  xdo key ctrl+f
  local find=(--pid "$APP_PID" --class '#32770' --caption 查找)
  drv wait-window "${find[@]}" --visible >/dev/null
  assert_eq "查找下一个(&F)" "$(drv get-text "${find[@]}" --id 1)" "the Find button"
  drv set-text "${find[@]}" --id 1001 延迟 >/dev/null
  drv click "${find[@]}" --id 1 >/dev/null
  assert_eq 0 "$(box send $SCI_LINEFROMPOSITION "$(box send $SCI_GETSELECTIONSTART)")" "first find"
  assert_eq 4 "$(( $(box send $SCI_GETSELECTIONEND) - $(box send $SCI_GETSELECTIONSTART) ))" "selection: the GBK bytes"
  drv click "${find[@]}" --id 1 >/dev/null
  assert_eq 2 "$(box send $SCI_LINEFROMPOSITION "$(box send $SCI_GETSELECTIONSTART)")" "second find"
  drv click "${find[@]}" --id 2 >/dev/null
  drv wait-gone "${find[@]}" >/dev/null
  # F3 goes on with the same words; Shift+F3 goes back.
  xdo key F3
  poll 5000 test "$(box send $SCI_LINEFROMPOSITION "$(box send $SCI_GETSELECTIONSTART)")" = 0
  xdo key shift+F3
  poll 5000 test "$(box send $SCI_LINEFROMPOSITION "$(box send $SCI_GETSELECTIONSTART)")" = 2
  # Words that are not there: said in a message.
  xdo key ctrl+f
  drv wait-window "${find[@]}" --visible >/dev/null
  drv set-text "${find[@]}" --id 1001 右键 >/dev/null
  drv post "${find[@]}" --id 1 245 >/dev/null  # BM_CLICK, posted: the message box is modal
  assert_eq $'系统提示\n找不到“右键”。' "$(drv msgbox --pid "$APP_PID" --press ok)" "not found"
  drv click "${find[@]}" --id 2 >/dev/null
  # The dialogs' keys typed nothing into the script.
  assert_script_text $'延迟 5\r\n移动 1,2\r\n延迟 7\r\n移动 3,4\r\n左键按下\r\n' "script after the dialogs"
}

test_the_box_text_plays_as_it_stands_without_a_file_and_its_line_is_marked() {
  start_tesmuro LoopByCount=1 LoopCount=1
  start_input_log
  hold_pointer
  # Not saved anywhere; the last line has no line end.
  drv set-text "${MAIN[@]}" --id 100 $'延迟 300\r\n移动 100,60\r\n左键按下\r\n左键释放\r\n延迟 1500\r\n移动 130,70\r\n右键按下\r\n右键释放' >/dev/null
  drv click "${MAIN[@]}" --id $PLAY_MEMO_ID >/dev/null
  # During the long delay its line (the fifth) is marked.
  wait_input_log "lup 100,60"
  wait_output 4 "the marked line during the delay" marked_line
  wait_input_log "rup 130,70"
  assert_eq $'ldown 100,60\nlup 100,60\nrdown 130,70\nrup 130,70' "$(input_events)" "what the logger window received"
  wait_output -1 "no mark once the run is over" marked_line
  assert_eq "Tesmuro" "$(drv info "${MAIN[@]}" --field caption)" "no file was named"
  drv absent --pid "$APP_PID" --class '#32770' --for 300 >/dev/null || fail "a dialog came up"
}

test_a_long_scripts_played_line_is_kept_in_view() {
  start_tesmuro LoopByCount=1 LoopCount=1
  start_input_log
  hold_pointer
  local file="$TEST_DIR/long.crec"
  # 2,000 lines of short moves, then a long delay near the end.
  { for i in $(seq 1 1000); do printf '移动 %d,60\n延迟 1\n' $((100 + i % 50)); done
    printf '左键按下\n左键释放\n延迟 3000\n右键按下\n右键释放\n'; } | gbk_script "$file"
  drv click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  wait_output "Tesmuro - $(winpath "$file")" "caption after the load" drv info "${MAIN[@]}" --field caption
  # Play of the box's own file, unchanged since it was loaded: its lines are followed too.
  drv click "${MAIN[@]}" --id 206
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  wait_input_log "lup [0-9]+,60"
  wait_output 2002 "the marked line during the last delay" marked_line
  local first rows row
  first=$(box send $SCI_GETFIRSTVISIBLELINE)
  rows=$(box send $SCI_LINESONSCREEN)
  row=$(box send $SCI_VISIBLEFROMDOCLINE 2002)
  [ "$row" -ge "$first" ] && [ "$row" -lt $((first + rows)) ] || fail "row $row is not in view ($first, $rows rows)"
  shot --keep script-box-played-line "$(drv info "${MAIN[@]}" --field window)" >/dev/null
  wait_input_log "rup [0-9]+,60" 10000
}

# refocus_box: the box takes the keyboard again after a played click went to the logger (a real
# click, so the pointer grab is let go for it and taken again).
refocus_box() {
  kill "$HOLD_POINTER_PID" 2>/dev/null
  wait "$HOLD_POINTER_PID" 2>/dev/null || true
  real_click "${MAIN[@]}" --id 100
  wait_focus "${MAIN[@]}" --id 100
  hold_pointer
}

# The logger's button lines from the 7th on (the release of a key typed into Tesmuro may reach
# the logger once a played click has brought it to the front).
clicks_after_the_third() { input_events | grep -E '^l(down|up) ' | tail -n +7; }

test_a_breakpoint_pauses_the_box_run_f10_plays_one_line_and_f5_the_rest() {
  start_tesmuro LoopByCount=1 LoopCount=1
  start_input_log
  # Five clicks, each press and release on a line of its own: the 4th press is line 14.
  local text="" i
  for i in 1 2 3 4 5; do text+="移动 $((90 + 10 * i)),60"$'\r\n左键按下\r\n左键释放\r\n延迟 100\r\n'; done
  drv set-text "${MAIN[@]}" --id 100 "$text" >/dev/null
  real_click "${MAIN[@]}" --id 100
  wait_focus "${MAIN[@]}" --id 100
  hold_pointer
  box send 2024 13 >/dev/null  # SCI_GOTOLINE
  xdo key F9
  wait_output 13 "the breakpoint's line" box send $SCI_MARKERNEXT 0 4
  xdo key F5
  poll 10000 status_is 3 "断点：第 14 行"
  assert_eq $'ldown 100,60\nlup 100,60\nldown 110,60\nlup 110,60\nldown 120,60\nlup 120,60' \
    "$(input_events)" "paused after the 3rd click"
  wait_output 13 "the paused line marked" marked_line
  # F10: the press line alone; the run pauses before the release (the button let go, as Pause does).
  refocus_box
  xdo key F10
  poll 10000 status_is 3 "单步：第 15 行"
  wait_input_log "lup 130,60"
  assert_eq $'ldown 130,60\nlup 130,60' "$(clicks_after_the_third)" "the step: the 4th press, let go while paused"
  # F5 goes on to the end; the breakpoint is no part of the text.
  refocus_box
  xdo key F5
  wait_input_log "lup 140,60"
  assert_eq $'ldown 130,60\nlup 130,60\nldown 130,60\nlup 130,60\nldown 140,60\nlup 140,60' \
    "$(clicks_after_the_third)" "the rest after F5"
  box_text_is "$text" || fail "the text changed"
}

# margin_click LINE MARGIN: a real click in margin MARGIN (1: breakpoints, 2: folds) beside LINE (0-based).
margin_click() {
  local x=0 m y
  for ((m = 0; m < $2; m++)); do x=$((x + $(box send 2243 $m))); done  # SCI_GETMARGINWIDTHN
  x=$((x + $(box send 2243 "$2") / 2 + 2))  # its middle, past the box's border
  y=$(( $(box send 2165 0 "$(box send 2167 "$1")") + $(box send 2279 "$1") / 2 + 2 ))  # SCI_POINTYFROMPOSITION, SCI_TEXTHEIGHT
  real_click --at "$x" "$y" "${MAIN[@]}" --id 100
}

test_folds_and_breakpoints_leave_the_saved_bytes_alone_and_a_word_offers_its_arguments() {
  local dir file="$TEST_DIR/folds.crec"
  dir=$(app_folder)
  write_named_settings "$dir/Quorlin.qlset"
  start_app --zh "$dir"
  wait_main_window >/dev/null
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  { printf '左键按下\n左键释放\n'
    for i in $(seq 1 312); do printf '移动 %d,%d\n延迟 16\n' $((200 + i % 40)) $((300 + i % 30)); done
    printf '左键按下\n左键释放\n如果 等待窗口 "记事本" 5\n按键按下 65 30 0 0 0\n按键弹起 65 30 0 0 0\n否则\n延迟 100\n结束如果\n'
    printf '重复 3\n右键按下\n右键释放\n结束重复\n'; } | gbk_script "$file"
  cp "$file" "$TEST_DIR/original.crec"
  drv click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  wait_output "Tesmuro - $(winpath "$file")" "caption after the load" drv info "${MAIN[@]}" --field caption
  # Fold the stretch of moves (line 3) and set a breakpoint on the click after it, by mouse.
  margin_click 2 2
  wait_output 0 "the stretch folded" box send 2230 2  # SCI_GETFOLDEXPANDED
  margin_click 626 1
  wait_output 626 "the breakpoint after the folded stretch" box send $SCI_MARKERNEXT 0 4
  margin_click 628 2
  wait_output 0 "the 如果 block folded" box send 2230 628
  # Saved as it stands (the file written afresh): the same bytes as loaded.
  rm "$file"
  drv click "${MAIN[@]}" --id 203 >/dev/null
  poll 5000 test -s "$file"
  assert_same_file "$file" "$TEST_DIR/original.crec" "the saved script"
  # A word and a space: its arguments in a call tip.
  real_click "${MAIN[@]}" --id 100
  xdo key ctrl+End
  # The characters as an input method hands them over (xdotool cannot type Chinese into Wine).
  local c
  for c in 0x7B49 0x5F85 0x56FE 0x50CF 0x20; do box post 258 $((c)) >/dev/null; done  # WM_CHAR 等待图像 and a space
  poll 5000 box_send_is 1 2202  # SCI_CALLTIPACTIVE
  shot --keep script-box-workbench "$(drv info "${MAIN[@]}" --field window)" >/dev/null
}
box_send_is() { [ "$(box send "${@:2}")" = "$1" ]; }
