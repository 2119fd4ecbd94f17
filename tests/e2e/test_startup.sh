# Tesmuro's start-up, main window and ways to end it.

MAIN_MENU=$'文件(&File)
  新建记录文件(&New)
  打开记录文件(&Load)
  保存记录文件(&Save)
  另存为(Save &As)
  导出为程序...
  -
  以管理员身份重新启动(&Run as Administrator)
  退出本软件(&Exit)
编辑(&Edit)
  撤销(&U)\tCtrl+Z
  重做(&R)\tCtrl+Y
  -
  剪切(&T)\tCtrl+X
  复制(&C)\tCtrl+C
  粘贴(&P)\tCtrl+V
  全选(&A)\tCtrl+A
  -
  查找(&F)...\tCtrl+F
  查找下一个(&N)\tF3
  转到行(&G)...\tCtrl+G
  -
  播放当前动作记录(&L)\tF5
  从光标所在行播放(&H)\tCtrl+F5
  播放选中的行(&E)\tCtrl+Shift+F5
  单步播放一行(&O)\tF10
  设置/清除断点(&B)\tF9
  截取图像(&I)...\tCtrl+Shift+I
  精简移动(&M)...
设置(&Setup)
  软件设置(S&oftware Setup)
  -
  摇杆1信息(&JoyStick1)
  摇杆2信息(JoyStick&2)
帮助(&Help)
  帮助内容(&Content)
  访问作者主页
  关于本软件(&About)'

# A fresh app folder with a valid settings file; prints the folder.
app_with_settings() {
  local dir
  dir=$(app_folder)
  write_settings "$dir/Quorlin.qlset" "${E2E_DEFAULT_SETTINGS[@]}"
  printf '%s' "$dir"
}

# Starts Tesmuro with a settings file and waits for its main window; sets MAIN (its selection).
start_with_settings() {
  start_app "$(app_with_settings)"
  wait_main_window >/dev/null
  MAIN=(--pid "$APP_PID" --class TFrmMain)
}

test_alone_in_an_empty_folder_it_starts_without_a_box_and_writes_the_defaults() {
  local dir roaming
  dir=$(app_folder)
  roaming=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/)
  rm -rf "$roaming/Tesmuro"  # an installed copy's settings, from an earlier test of the run
  start_app "$dir"
  wait_main_window >/dev/null
  drv absent --pid "$APP_PID" --class '#32770' --for 1000
  # The first start writes the construction values: the five recording switches on, speed 100 %,
  # positions follow their windows, waits of 10 s.
  write_settings "$TEST_DIR/defaults" 1 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "" 0 0 0 1 1 100 0 0 0 1 10 0 0 0 0
  assert_same_file "$TEST_DIR/defaults" "$dir/Quorlin.qlset" "the settings written at the first start"
  # A portable copy keeps everything beside itself.
  assert_file_absent "$roaming/Tesmuro" "a portable copy wrote to %APPDATA%"
  drv close --pid "$APP_PID" --class TFrmMain
  assert_eq 0 "$(app_exit_code)" "exit code"
}

test_with_settings_file_no_message_and_file_untouched() {
  local dir
  dir=$(app_with_settings)
  cp "$dir/Quorlin.qlset" "$TEST_DIR/settings-before"
  start_app "$dir"
  wait_main_window >/dev/null
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a dialog is open at start-up"
  drv absent --pid "$APP_PID" --class '#32770' --for 1000
  drv close --pid "$APP_PID" --class TFrmMain
  assert_eq 0 "$(app_exit_code)" "exit code"
  assert_same_file "$TEST_DIR/settings-before" "$dir/Quorlin.qlset" "the settings file changed"
}

test_main_window_frame_menu_and_status_bar() {
  start_with_settings
  local -A info
  local key value
  while IFS='=' read -r key value; do info[$key]=$value; done < <(drv info "${MAIN[@]}")
  assert_eq Tesmuro "${info[caption]}" "caption"
  assert_eq 688x426 "${info[client]}" "client area"
  # Single fixed border; system menu and minimise box, no maximise box.
  local style_hex=${info[style]}
  local style=$((style_hex))
  assert_eq 0 $((style & 0x00040000)) "the border is resizable (WS_THICKFRAME)"
  assert_eq 0 $((style & 0x00010000)) "it has a maximise box"
  assert_ne 0 $((style & 0x00020000)) "no minimise box"
  assert_ne 0 $((style & 0x00080000)) "no system menu"
  # Centred on the 1280x1024 desktop.
  local w h x y
  IFS='x+' read -r w h x y <<<"${info[window]}"
  local dx=$(( (2 * x + w) - 1280 )) dy=$(( (2 * y + h) - 1024 ))
  [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ] || fail "not centred: window ${info[window]}"

  assert_eq "$MAIN_MENU" "$(drv menu "${MAIN[@]}")" "menu bar"

  local -a parts
  mapfile -t parts < <(drv status "${MAIN[@]}")
  assert_eq 4 "${#parts[@]}" "status bar panels: $(printf '[%s] ' "${parts[@]}")"
  assert_eq 就绪 "${parts[0]}" "panel 0"
  assert_eq "" "${parts[1]}" "panel 1"
  assert_eq 无按键 "${parts[2]}" "panel 2"

  assert_eq "" "$(drv get-text "${MAIN[@]}" --child Scintilla@100)" "script text at start-up"
  drv info "${MAIN[@]}" --child 'Button~清空' >/dev/null
}

test_other_forms_exist_hidden() {
  start_with_settings
  local cls
  for cls in TFrmSoftwareSetup TAboutBox TFrmMirco; do
    assert_eq 1 "$(drv count --pid "$APP_PID" --class "$cls")" "top-level windows of class $cls"
    assert_eq 0 "$(drv count --pid "$APP_PID" --class "$cls" --visible)" "$cls is visible"
  done
  assert_eq 1 "$(drv count --pid "$APP_PID" --class TFrmMain --visible)" "visible main windows"
}

test_script_text_keeps_chinese_under_a_western_code_page() {
  # Under C.UTF-8 the ANSI code page is 1252: an ANSI control would turn these into '?'.
  start_with_settings
  local text=$'鼠标左键按下 100 200\r\n延时 50'
  drv set-text "${MAIN[@]}" --child Scintilla@100 "$text"
  assert_eq "$text" "$(drv get-text "${MAIN[@]}" --child Scintilla@100)" "script text read back"
}

test_exit_menu_ends_with_code_0() {
  start_with_settings
  drv menu-invoke "${MAIN[@]}" "文件(&File)" "退出本软件(&Exit)" >/dev/null
  assert_eq 0 "$(app_exit_code)" "exit code after File > Exit"
}

test_close_message_ends_with_code_0() {
  start_with_settings
  drv close "${MAIN[@]}"
  assert_eq 0 "$(app_exit_code)" "exit code after WM_CLOSE"
}

test_system_close_command_ends_with_code_0() {
  start_with_settings
  drv syscommand close "${MAIN[@]}"
  assert_eq 0 "$(app_exit_code)" "exit code after SC_CLOSE"
}

test_clicking_the_close_box_ends_with_code_0() {
  start_with_settings
  local x y
  read -r x y < <(drv nc-point close "${MAIN[@]}")
  xdo mousemove "$x" "$y" click 1
  assert_eq 0 "$(app_exit_code)" "exit code after a click on the close box"
}

# In the Chinese locale, where the captions render, at 96 and 144 DPI: the main window with the
# longest texts its status bar shows (a wait in progress, then the stop on a window title of 99
# bytes) and every page of the settings dialog. Every text fits its control inside its window, as
# the program's own fonts measure it; the pictures are kept whatever happens.
test_chinese_screenshots_texts_fit_at_96_and_144_dpi() {
  trap 'zh_set_dpi' EXIT  # the prefix's other tests run at 96
  local dpi
  for dpi in 96 144; do
    zh_set_dpi "$dpi"
    zh_check_windows "$dpi"
  done
}

zh_set_dpi() {
  if [ -n "${1:-}" ]; then
    _e2e_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  else
    _e2e_wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  fi
}

# The driver measures in the program's locale, where the same font names give the same fonts.
zh_fits() { LOCPATH="$(zh_locale)" LANG=zh_CN.UTF-8 drv fits "$@" >&2; }

zh_check_windows() {
  local dpi=$1 dir geometry file main title script
  dir=$(app_folder)
  title=$(printf 'LongWindowTitle-%.0s' 1 2 3 4 5 6)
  title="${title}E"  # 97: with its quotes the word is 99 bytes, the reader's longest
  script="$dir/long-title.crec"
  printf '延迟 10\r\n等待窗口 "%s" 2\r\n' "$title" | iconv -f UTF-8 -t GBK >"$script"
  APP_START_MS=$(e2e_now_ms)
  APP_PID=$(LOCPATH="$(zh_locale)" LANG=zh_CN.UTF-8 drv start --cwd "$(winpath "$dir")" \
    "$(winpath "$dir/Tesmuro.exe")" /play "$(winpath "$script")")
  echo "$APP_PID" >>"$TEST_DIR/.pids"
  main=$(wait_main_window)
  [ "$dpi" = 96 ] && assert_eq "$MAIN_MENU" "$(drv menu --hwnd "$main")" "menu bar (zh_CN)"
  local status=(--hwnd "$main" --child msctls_statusbar32)
  # The main window's font, at this DPI (CreateFont's height).
  local main_font=(--font "MS Sans Serif" --height $((-11 * dpi / 96)))
  wait_output "第 2 行：等待窗口“LongWindowTitle-LongWi…”… 1/2 秒" "the wait in progress" \
    drv status --hwnd "$main" --part 3
  geometry=$(drv info --hwnd "$main" --field window)
  shot --keep "main-window-waiting-$dpi" "$geometry" >/dev/null
  zh_fits "${status[@]}" "${main_font[@]}" || fail "a status panel cuts its text at $dpi DPI (waiting)"
  local stop="第 2 行：等待窗口“LongWindowTitle-LongWi…”超过 2 秒，回放已停止"
  wait_output "$stop" "the stop text" drv status --hwnd "$main" --part 3
  assert_eq "第 2 行：等待窗口“${title}”超过 2 秒，回放已停止" "$(drv status "${status[@]}" --tips --part 3)" \
    "the stop text's tooltip"
  settle "$main"
  file=$(shot --keep "main-window-$dpi" "$geometry")
  assert_eq "${geometry%%+*}" "$(identify -format '%wx%h' "$file")" "size of the screenshot"
  zh_fits "${status[@]}" "${main_font[@]}" || fail "a status panel cuts its text at $dpi DPI (stopped)"

  # Every page of the settings dialog, chosen with real clicks on its tab.
  local dlg=(--pid "$APP_PID" --class TFrmSoftwareSetup) page at
  drv menu-invoke --hwnd "$main" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${dlg[@]}" --visible >/dev/null
  for page in 1 2 3; do
    at=$(( (30 + (page - 1) * 65) * dpi / 96 ))
    real_click --at "$at" $((10 * dpi / 96)) "${dlg[@]}" --id 400
    wait_output $((page - 1)) "page $page" drv send "${dlg[@]}" --id 400 4875  # TCM_GETCURSEL
    settle "$(drv info "${dlg[@]}" --field hwnd)"
    shot --keep "settings-page-$page-$dpi" "$(drv info "${dlg[@]}" --field window)" >/dev/null
    zh_fits "${dlg[@]}" --font "宋体" --height $((-12 * dpi / 96)) || fail "page $page cuts a text at $dpi DPI"
  done
  drv click "${dlg[@]}" --id 2 >/dev/null
  wait_output 0 "the dialog closed" drv info "${dlg[@]}" --field visible
  drv close --hwnd "$main"
  assert_eq 0 "$(app_exit_code)" "exit code"
}

# Lets a window finish painting: two round trips through its message queue, then a short pause.
settle() {
  drv send --hwnd "$1" 0 >/dev/null
  drv send --hwnd "$1" 0 >/dev/null
  sleep 0.3
}
