# A big script goes into the text box in steps: the window keeps answering and shows the progress.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

test_loading_a_big_script_keeps_the_window_answering_and_shows_progress() {
  start_tesmuro RecMouse=1 RecKey=1 RecMouseMsg=1 RecKeyMsg=1
  local file="$TEST_DIR/big.crec" lines=60000
  awk -v n="$lines" 'BEGIN { for (i = 0; i < n; i++) if (i % 2) printf "移动 %d,%d\r\n", 640 + i % 7, 480; else printf "延迟 8\r\n" }' |
    iconv -f UTF-8 -t GBK >"$file"
  drv click "${MAIN[@]}" --id 202
  drv file-dialog --pid "$APP_PID" "$(winpath "$file")" >/dev/null
  # While it loads: the progress in the first panel, and the window answers (each step of the load
  # is meant to take at most a second; the margin is for a busy machine).
  local seen=0 answered=0 i status
  for i in $(seq 1 600); do
    status=$(drv status "${MAIN[@]}" --part 0 2>/dev/null) || status=""
    if [[ "$status" =~ ^正在载入\ [0-9]+%$ ]]; then
      seen=1
      drv send "${MAIN[@]}" 0 --timeout 3000 >/dev/null && answered=$((answered + 1))
    fi
    [ "$(drv info "${MAIN[@]}" --field caption)" = "Tesmuro - $(winpath "$file")" ] && break
    sleep 0.05
  done
  assert_eq 1 "$seen" "the progress was shown"
  [ "$answered" -ge 1 ] || fail "the window never answered while loading"
  assert_eq "就绪" "$(drv status "${MAIN[@]}" --part 0)" "the first panel after the load"
  local text
  get_script_text text
  assert_eq "$lines" "$(printf '%s' "$text" | grep -c $'\r$')" "lines in the text box"
  # Save writes the same bytes back.
  drv click "${MAIN[@]}" --id 203
  cp "$file" "$TEST_DIR/want"
  poll 10000 cmp -s "$file" "$TEST_DIR/want"
  assert_eq 1 "$(drv info "${MAIN[@]}" --field enabled)" "the window takes commands again"
}
