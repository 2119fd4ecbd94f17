# A big script goes into the script box at once: the window answers while the box wraps its lines in
# the background, the step counter follows the rows as shown, and Save writes the same bytes back.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

test_loading_a_big_script_is_quick_and_keeps_the_window_answering() {
  start_tesmuro RecMouse=1 RecKey=1 RecMouseMsg=1 RecKeyMsg=1
  local file="$TEST_DIR/big.crec" lines=200000
  awk -v n="$lines" 'BEGIN { for (i = 0; i < n; i++) if (i % 2) printf "移动 %d,%d\r\n", 640 + i % 7, 480; else printf "延迟 8\r\n" }' |
    iconv -f UTF-8 -t GBK >"$file"
  drv click "${MAIN[@]}" --id 202
  local t0
  t0=$(e2e_now_ms)
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  wait_output "Tesmuro - $(winpath "$file")" "caption after the load" drv info "${MAIN[@]}" --field caption
  local took=$(( $(e2e_now_ms) - t0 ))
  echo "loaded in $took ms" >&2
  # The edit control took minutes for this; the box takes well under ten seconds even on a busy machine.
  [ "$took" -lt 10000 ] || fail "the load took $took ms"
  # The window answers at once, again and again, while the wrapping goes on.
  local i
  for i in 1 2 3 4 5; do
    drv send "${MAIN[@]}" 0 --timeout 1000 >/dev/null || fail "the window did not answer within 1 s (try $i)"
  done
  assert_eq "就绪" "$(drv status "${MAIN[@]}" --part 0)" "the first panel after the load"
  local text
  get_script_text text
  assert_eq "$lines" "$(printf '%s' "$text" | grep -c $'\r$')" "lines in the script box"
  # Save writes the same bytes back.
  cp "$file" "$TEST_DIR/want"
  : >"$file.stamp"
  drv click "${MAIN[@]}" --id 203
  poll 10000 test "$file" -nt "$file.stamp"
  poll 10000 cmp -s "$file" "$TEST_DIR/want"
  assert_eq 1 "$(drv info "${MAIN[@]}" --field enabled)" "the window takes commands"
}
