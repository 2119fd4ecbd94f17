# The installer: a silent per-user install, the .crec file type (open and 播放) and the uninstaller
# removing what the installer added.

# shellcheck source=tests/e2e/fixture/input_log.sh
source "$(dirname "${BASH_SOURCE[0]}")/fixture/input_log.sh"

# What the prefix holds: its files (the temporary folders and the user's settings aside) and the
# current user's registry keys, one a line.
install_listing() {
  (cd "$WINEPREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -path './windows/temp' -prune \
    -o -path './users/*/AppData/Roaming/Tesmuro' -prune -o -print) | sort
  wine reg query HKCU /s 2>/dev/null | tr -d '\r' | grep '^HKEY' | grep -v 'Wine\\Temporary System Parameters' | sort
}

# file_version EXE: the FileVersion text of a program's version resource.
file_version() { strings -el "$1" | grep -A1 -x FileVersion | sed -n 2p; }

test_installer_file_type_and_uninstaller() {
  local setup
  setup=$(ls -t "$E2E_BUILD"/Tesmuro-*-setup.exe 2>/dev/null | head -n 1)  # the newest build's
  [ -n "$setup" ] || fail "the installer is not built (makensis missing?)"
  # No menu entries or file associations of the host from the shortcut and the file type.
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
  local user_dir prog roaming
  user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/* | grep -v '/Public$' | head -n 1)
  prog="$user_dir/AppData/Local/Programs/Tesmuro"
  roaming="$user_dir/AppData/Roaming"
  # The machine's key for the list of programs, there and empty before: it stays after the uninstaller.
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /f >/dev/null
  install_listing >"$TEST_DIR/before"

  # One version everywhere: the installer's name, its version resource and the program's (read
  # below from the status bar and the installed file).
  [[ "${setup##*/}" =~ ^Tesmuro-([0-9]+\.[0-9]+\.[0-9]+)-setup\.exe$ ]] || fail "installer name: ${setup##*/}"
  local version=${BASH_REMATCH[1]}
  assert_eq "$version" "$(file_version "$setup")" "the installer's file version"
  assert_eq "$version.0" "$(file_version "$E2E_APP")" "Tesmuro.exe's file version"

  cp "$setup" "$TEST_DIR/setup.exe"
  local pid
  pid=$(start_program "$TEST_DIR/setup.exe" /S)
  assert_eq 0 "$(drv wait-exit "$pid" 60000)" "exit code of the silent install"
  local f
  for f in Tesmuro.exe Quorlin.chm Uninstall.exe; do [ -f "$prog/$f" ] || fail "not installed: $f"; done
  [ -f "$roaming/Microsoft/Windows/Start Menu/Programs/Tesmuro.lnk" ] || fail "no Start menu shortcut"
  local classes='HKCU\Software\Classes'
  assert_match 'Tesmuro\.Script' "$(wine reg query "$classes\\.crec" /ve | tr -d '\r')" ".crec type"
  assert_match '"C:\\users\\[^\\]+\\AppData\\Local\\Programs\\Tesmuro\\Tesmuro.exe" /play "%1" /exit' \
    "$(wine reg query "$classes\\Tesmuro.Script\\shell\\play\\command" /ve | tr -d '\r')" "the 播放 verb"
  assert_match 'Uninstall.exe' \
    "$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tesmuro' /v UninstallString | tr -d '\r')" \
    "the entry in the list of programs"

  # Windows shows the user's classes (HKCU\Software\Classes) within HKEY_CLASSES_ROOT; Wine 8 shows
  # only the machine's there, so the shell here gets a copy of the user's keys as the machine's.
  local key
  for key in .crec Tesmuro.Script; do
    wine reg copy "$classes\\$key" "HKLM\\Software\\Classes\\$key" /s /f >/dev/null
  done

  # A double click: the shell opens the script in the installed copy.
  local script="$TEST_DIR/打开 测试.crec"
  printf '延迟 5\r\n移动 1,2\r\n' | iconv -f UTF-8 -t GBK >"$script"
  timeout 20 wine start /unix "$script"
  local main
  main=$(drv wait-window --class TFrmMain --visible --timeout 15000)
  APP_PID=$(drv info --hwnd "$main" --field pid)
  echo "$APP_PID" >>"$TEST_DIR/.pids"
  MAIN=(--pid "$APP_PID" --class TFrmMain)
  poll 5000 script_text_is $'延迟 5\r\n移动 1,2\r\n'
  assert_match '打开 测试\.crec$' "$(drv info "${MAIN[@]}" --field caption)" "caption"
  # An installed copy keeps its settings with the user, the first start without a box.
  assert_eq 0 "$(drv count --pid "$APP_PID" --class '#32770')" "a box at the first start"
  [ -f "$roaming/Tesmuro/Quorlin.qlset" ] || fail "no settings in %APPDATA%\\Tesmuro"
  assert_file_absent "$prog/Quorlin.qlset" "settings beside the installed copy"
  assert_eq "v$version" "$(drv status "${MAIN[@]}" --part 3)" "the version on the status bar"

  # Installing again while this copy runs: nothing is copied over it; silently, the installation
  # ends with code 2 (with a user, a box asks in Chinese to close Tesmuro, or to cancel).
  touch -d '2001-01-01' "$prog/Tesmuro.exe"
  pid=$(start_program "$TEST_DIR/setup.exe" /S)
  assert_eq 2 "$(drv wait-exit "$pid" 60000)" "exit code of an installation over a running copy"
  [ "$(stat -c %Y "$prog/Tesmuro.exe")" = "$(date -d '2001-01-01' +%s)" ] || fail "the running copy was replaced"
  drv close "${MAIN[@]}"
  assert_eq 0 "$(app_exit_code)" "exit code after closing"
  pid=$(start_program "$TEST_DIR/setup.exe" /S)
  assert_eq 0 "$(drv wait-exit "$pid" 60000)" "exit code of the installation once the copy is closed"

  # 播放 plays the script and ends with 0.
  assert_eq 0 "$(drv shell --wait --timeout 20000 play "$(winpath "$script")")" "exit code of 播放"

  # The silent uninstaller (it goes on from a copy of itself) takes back all it put in place and
  # keeps the user's settings.
  pid=$(start_program "$prog/Uninstall.exe" /S)
  drv wait-exit "$pid" 20000 >/dev/null
  poll 20000 test ! -e "$prog"
  [ -f "$roaming/Tesmuro/Quorlin.qlset" ] || fail "the uninstaller removed the user's settings"
  for key in .crec Tesmuro.Script; do wine reg delete "HKLM\\Software\\Classes\\$key" /f >/dev/null; done
  install_listing >"$TEST_DIR/after"
  diff "$TEST_DIR/before" "$TEST_DIR/after" >"$TEST_DIR/difference" || fail "left behind or removed: $(cat "$TEST_DIR/difference")"
}
