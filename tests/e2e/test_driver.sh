# The driver against the fixture program: each kind of control and dialog the Tesmuro tests rely on.

# Starts the fixture (arguments passed on) and sets FX_PID and FX (its main window selection).
start_fixture() {
  mkdir -p "$TEST_DIR/fixture"
  cp "$E2E_FIXTURE" "$TEST_DIR/fixture/fixture.exe"
  FX_PID=$(start_program "$TEST_DIR/fixture/fixture.exe" "$@")
  FX=(--pid "$FX_PID" --class FixtureMain)
}

test_driver_library_unit_tests() {
  local tests="$E2E_TOOLS/tesmuro_driver_tests.exe"
  [ -f "$tests" ] || fail "not built: $tests (it needs the unit-test build's GoogleTest)"
  timeout 120 wine "$tests" --gtest_brief=1
}

test_driver_message_box_comes_before_the_window() {
  start_fixture --startup-box
  local box
  box=$(drv msgbox --pid "$FX_PID")
  assert_eq $'夹具提示\n找不到文件！' "$box" "caption and text of the start-up box"
  assert_eq "0" "$(drv count "${FX[@]}" --visible)" "main window shown while the box is up"
  assert_eq $'1\tOK' "$(drv buttons --pid "$FX_PID")" "buttons of the box"
  drv msgbox --pid "$FX_PID" --press ok >/dev/null
  assert_eq "0" "$(drv count --pid "$FX_PID" --class '#32770')" "box still there after OK"
  drv wait-window "${FX[@]}" --visible >/dev/null
  drv absent --pid "$FX_PID" --class '#32770' --for 300
}

test_driver_menu_listing_and_invoking() {
  start_fixture
  local expected
  expected=$'文件(&File)\n  打开(&Open)...\tCtrl+O\n  -\n  退出(&Exit)\n设置(&Setup)\n  子菜单(&Sub)\n    深层项(&Deep)\n  禁用项(&Disabled)\n帮助(&Help)\n  关于(&About)'
  assert_eq "$expected" "$(drv menu "${FX[@]}")" "menu bar"
  assert_match $'禁用项\\(&Disabled\\)\t#203\tdisabled' "$(drv menu "${FX[@]}" --ids)" "ids and state"

  # Three levels deep, captions given with and without the & markers.
  assert_eq 202 "$(drv menu-invoke "${FX[@]}" "设置(&Setup)" "子菜单(Sub)" "深层项(&Deep)")"
  local text=""
  for _ in $(seq 50); do text=$(drv get-text "${FX[@]}" --child Edit); [ "$text" = deep ] && break; done
  assert_eq deep "$text" "the deep item's command did not run"

  assert_status 1 drv menu-invoke "${FX[@]}" "设置(&Setup)" "禁用项(&Disabled)"
  assert_status 1 drv menu-invoke "${FX[@]}" "设置(&Setup)" "子菜单(&Sub)"
  assert_status 1 drv menu-invoke "${FX[@]}" "文件(&File)" "没有这项"
}

test_driver_menu_command_opening_a_modal_box_is_posted() {
  start_fixture
  # A sent WM_COMMAND would block the driver inside the modal loop; posted, it returns.
  assert_eq 204 "$(drv menu-invoke "${FX[@]}" "帮助(&Help)" "关于(&About)" --timeout 3000)"
  assert_eq $'关于\n夹具程序\n第二行' "$(drv msgbox --pid "$FX_PID" --press ok)"
  drv wait-gone --pid "$FX_PID" --class '#32770'
}

test_driver_text_round_trip_keeps_unicode_and_line_breaks() {
  start_fixture
  local text=$'第一行\r\n第二行 ünï ©\r\n'
  drv set-text "${FX[@]}" --child Edit@100 "$text"
  # get-text prints the text and a newline; compare byte for byte.
  drv get-text "${FX[@]}" --id 100 >"$TEST_DIR/got.txt"
  printf '%s\n' "$text" >"$TEST_DIR/want.txt"
  assert_same_file "$TEST_DIR/want.txt" "$TEST_DIR/got.txt" "edit text after set-text"
  assert_eq "夹具 Fixture" "$(drv info "${FX[@]}" --field caption)"
  assert_eq 400x260 "$(drv info "${FX[@]}" --field client)"
}

test_driver_status_bar_and_clicks() {
  start_fixture
  local -a parts
  mapfile -t parts < <(drv status "${FX[@]}")
  assert_eq 3 "${#parts[@]}" "panel count"
  assert_eq 就绪 "${parts[0]}"
  assert_eq "" "${parts[1]}"
  assert_eq 面板三 "${parts[2]}"

  drv click "${FX[@]}" --id 101
  wait_status pressed
  # The pad is a plain child window at (300,40) with a 1-pixel border.
  drv click-at "${FX[@]}" 310 50 >/dev/null
  wait_status "pad 9,9"
  drv click "${FX[@]}" --child 'Button~问'
  assert_eq $'夹具\n继续吗？' "$(drv msgbox --pid "$FX_PID" --press yes)"
  wait_status yes
}

# Polls status panel 1 of the fixture until it reads $1 (up to 5 s).
wait_status() {
  local got=""
  for _ in $(seq 100); do
    got=$(drv status "${FX[@]}" --part 1)
    [ "$got" = "$1" ] && return 0
    sleep 0.05
  done
  assert_eq "$1" "$got" "status panel 1"
}

test_driver_file_dialog_takes_the_typed_name() {
  start_fixture
  drv menu-invoke "${FX[@]}" "文件(&File)" "打开(&Open)..." >/dev/null
  local name
  name="$(winpath "$TEST_DIR/记录 1.crec")"
  drv file-dialog --pid "$FX_PID" "$name" >/dev/null
  wait_status "file $name"
}

test_driver_exit_codes_and_deadlines() {
  start_fixture --exit-code 7
  drv menu-invoke "${FX[@]}" "文件(&File)" "退出(&Exit)" >/dev/null
  # Let the process end before asking: the code must still be known.
  for _ in $(seq 100); do drv alive "$FX_PID" >/dev/null || break; sleep 0.05; done
  assert_status 1 drv alive "$FX_PID"
  assert_eq 7 "$(drv wait-exit "$FX_PID" 5000)" "exit code after the process ended"

  start_fixture
  assert_status 3 drv wait-exit "$FX_PID" 200
  drv kill "$FX_PID"
  assert_eq 1 "$(drv wait-exit "$FX_PID" 5000)" "exit code of a killed process"

  assert_status 3 drv wait-window --class NoSuchClass --timeout 200
  assert_status 3 drv msgbox --pid "$FX_PID" --timeout 200
  assert_status 2 drv wait-window
  assert_status 2 drv no-such-command
}
