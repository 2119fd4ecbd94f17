# Start with the system through the settings dialog, driven with the X pointer: the Run value that
# Tesmuro writes into the prefix's registry, read back with `wine reg query`.

AUTORUN_KEY='Software\Microsoft\Windows\CurrentVersion\Run'
AUTORUN_CHECK_ID=423  # ChkAutoRun
AUTORUN_PAGES_ID=400
BM_GETCHECK=240

# autorun_value HIVE: the data of "Quorlin" in the hive's Run key (HKLM or HKCU), or "(none)".
autorun_value() {
  local out
  out=$(_e2e_wine reg query "$1\\$AUTORUN_KEY" /v Quorlin 2>/dev/null | tr -d '\r') || { printf '(none)'; return 0; }
  out=$(grep -E '^ +Quorlin +REG_SZ' <<<"$out") || { printf '(not a string)'; return 0; }
  printf '%s' "$(sed -E 's/^ +Quorlin +REG_SZ( {4})?//' <<<"$out")"
}

autorun_set() {
  _e2e_wine reg add "$1\\$AUTORUN_KEY" /v Quorlin /t REG_SZ /d "$2" /f >/dev/null 2>&1 || fail "reg add $1 failed"
}

# autorun_click [--at DX DY] SELECTION...: a left click of the X pointer on the window (its middle,
# or DX, DY from its top-left corner).
autorun_click() { real_click "$@"; }

# autorun_wait COMMAND... EXPECTED WHAT: polls (10 s) until the command prints EXPECTED.
autorun_wait() { wait_output "${@: -2:1}" "${@: -1}" "${@:1:$#-2}"; }

settings_line() { sed -n "${2}p" "$1" | tr -d '\r'; }

# Opens the settings dialog on its second page, where ChkAutoRun is, and checks the box's state.
autorun_open_dialog() {
  local checked="$1"
  drv menu-invoke "${AR_MAIN[@]}" "设置(&Setup)" "软件设置(S&oftware Setup)" >/dev/null
  drv wait-window "${AR_DLG[@]}" --visible >/dev/null
  # The second tab sits right of the first ("基本设置") on the page control's top edge.
  autorun_click --at 95 10 "${AR_DLG[@]}" --id "$AUTORUN_PAGES_ID"
  autorun_wait drv info "${AR_DLG[@]}" --id "$AUTORUN_CHECK_ID" --field visible 1 "the second page is shown"
  assert_eq "$checked" "$(drv send "${AR_DLG[@]}" --id "$AUTORUN_CHECK_ID" "$BM_GETCHECK")" "ChkAutoRun when opened"
}

# autorun_toggle_and_confirm NOW [--message]: clicks ChkAutoRun (which then shows NOW) and the
# confirm button; without --message, waits until the dialog has closed.
autorun_toggle_and_confirm() {
  local now="$1"
  autorun_click "${AR_DLG[@]}" --id "$AUTORUN_CHECK_ID"
  autorun_wait drv send "${AR_DLG[@]}" --id "$AUTORUN_CHECK_ID" "$BM_GETCHECK" "$now" "ChkAutoRun after the click"
  autorun_click "${AR_DLG[@]}" --id 1
  [ "${2:-}" = --message ] && return 0
  autorun_wait drv info "${AR_DLG[@]}" --field visible 0 "the dialog closed"
}

# autorun_lock read-only|writable HIVE: whether everyone may change the hive's Run key.
autorun_lock() {
  echo "+ registry_lock $1 $2" >&2
  _e2e_wine "$E2E_TOOLS/registry_lock/tesmuro_registry_lock.exe" "$1" "$2" "$AUTORUN_KEY" ||
    fail "cannot make $2\\$AUTORUN_KEY $1"
}

# Starts Tesmuro from a program folder with a space in its name ("My Tools": unquoted, the system
# would run "...\My.exe"), after the Run values the tests start from: the unquoted path in the
# machine's key, as earlier versions wrote it, and the quoted one in the user's key. Sets AR_DIR,
# AR_EXE (the Windows path), AR_MAIN and AR_DLG.
autorun_start() {
  AR_DIR="$TEST_DIR/My Tools"
  mkdir -p "$AR_DIR"
  cp "$E2E_APP" "$AR_DIR/Tesmuro.exe"
  write_settings "$AR_DIR/Quorlin.qlset" "${E2E_DEFAULT_SETTINGS[@]}"
  AR_EXE=$(winpath "$AR_DIR/Tesmuro.exe")
  # The run's prefix is shared: whatever an earlier test left, the keys start writable.
  autorun_lock writable HKLM
  autorun_lock writable HKCU
  autorun_set HKLM "$AR_EXE"
  autorun_set HKCU "\"$AR_EXE\""
  start_app "$AR_DIR"
  wait_main_window >/dev/null
  AR_MAIN=(--pid "$APP_PID" --class TFrmMain)
  AR_DLG=(--pid "$APP_PID" --class TFrmSoftwareSetup)
}

# autorun_message TEXT: the message box over the dialog says TEXT under "系统提示" with one OK
# button; it is answered, and the dialog closes.
autorun_message() {
  assert_eq "系统提示"$'\n'"$1" "$(drv msgbox --pid "$APP_PID" --timeout 15000)" "message"
  assert_eq $'1\tOK' "$(drv buttons --pid "$APP_PID")" "buttons of the message"
  drv msgbox --pid "$APP_PID" --press ok >/dev/null
  autorun_wait drv info "${AR_DLG[@]}" --field visible 0 "the dialog closed"
}

test_start_with_the_system_writes_the_quoted_path_and_clearing_removes_it() {
  local dir exe
  autorun_start
  dir=$AR_DIR exe=$AR_EXE

  autorun_open_dialog 0
  autorun_toggle_and_confirm 1
  assert_eq "\"$exe\"" "$(autorun_value HKLM)" "the machine's Run value"
  assert_eq "(none)" "$(autorun_value HKCU)" "the user's Run value (the program would start twice)"
  autorun_wait settings_line "$dir/Quorlin.qlset" 17 1 "AutoRun in the settings file"
  drv absent --pid "$APP_PID" --class '#32770' --for 0 >/dev/null

  autorun_open_dialog 1
  autorun_toggle_and_confirm 0
  assert_eq "(none)" "$(autorun_value HKLM)" "the machine's Run value after clearing"
  assert_eq "(none)" "$(autorun_value HKCU)" "the user's Run value after clearing"
  autorun_wait settings_line "$dir/Quorlin.qlset" 17 0 "AutoRun in the settings file"
  drv absent --pid "$APP_PID" --class '#32770' --for 0 >/dev/null
}

test_without_the_rights_for_the_machines_key_the_users_key_is_used_and_the_user_told() {
  autorun_start
  local quoted="\"$AR_EXE\""
  trap 'autorun_lock writable HKLM; autorun_lock writable HKCU' EXIT
  # As for a user without administrator rights: the machine's key can be read, not changed.
  autorun_lock read-only HKLM

  autorun_open_dialog 0
  autorun_toggle_and_confirm 1 --message
  autorun_message "没有管理员权限，不能为本机所有用户设置开机自启动，已改为只在当前用户登录时自启动。"
  assert_eq "$quoted" "$(autorun_value HKCU)" "the user's Run value"
  assert_eq "$AR_EXE" "$(autorun_value HKLM)" "the machine's Run value, which can't be changed"
  autorun_wait settings_line "$AR_DIR/Quorlin.qlset" 17 1 "AutoRun in the settings file"

  # Clearing: the user's value goes; the machine's still starts the program, and the user is told.
  autorun_open_dialog 1
  autorun_toggle_and_confirm 0 --message
  autorun_message "没有权限删除注册表中的开机自启动项，本程序仍会随系统启动。"
  assert_eq "(none)" "$(autorun_value HKCU)" "the user's Run value after clearing"
  assert_eq "$AR_EXE" "$(autorun_value HKLM)" "the machine's Run value after clearing"
  autorun_wait settings_line "$AR_DIR/Quorlin.qlset" 17 0 "AutoRun in the settings file"

  # Neither key can be written: nothing is, and the switch is stored off, as the next opening shows.
  autorun_lock read-only HKCU
  autorun_open_dialog 0
  autorun_toggle_and_confirm 1 --message
  autorun_message "不能写入系统注册表，开机自启动没有设置。"
  assert_eq "(none)" "$(autorun_value HKCU)" "the user's Run value"
  # The box was checked when confirmed; the dialog is filled from the file, saved by then.
  autorun_open_dialog 0
  assert_eq 0 "$(settings_line "$AR_DIR/Quorlin.qlset" 17)" "AutoRun in the settings file"
  autorun_click "${AR_DLG[@]}" --id 2
  autorun_wait drv info "${AR_DLG[@]}" --field visible 0 "the dialog closed"
}
