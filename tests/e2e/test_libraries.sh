# The libraries Tesmuro.exe imports. The loader looks for an imported library in the program's own
# folder before the system folder unless the library is one of the system's known DLLs (or, for
# comctl32, bound by the manifest), so a library planted beside the program would run with the
# user's rights. Any other library must be loaded at run time from the system folder
# (os/system_library_win.h), as winmm.dll is.

# Known DLLs on every Windows the program supports (7 and later), and comctl32.
LIBRARIES_SAFE_TO_IMPORT="advapi32.dll clbcatq.dll comctl32.dll comdlg32.dll difxapi.dll gdi32.dll imagehlp.dll
imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll
sechost.dll setupapi.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll"

test_the_program_imports_only_known_system_libraries() {
  [ -f "$E2E_APP" ] || fail "Tesmuro.exe is not built: $E2E_APP"
  local objdump imports name unsafe=""
  objdump=$(command -v i686-w64-mingw32-objdump) || fail "i686-w64-mingw32-objdump is missing"
  imports=$("$objdump" -p "$E2E_APP" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "imports:" $imports >&2
  assert_match 'kernel32\.dll' "$imports" "the import table was read"
  for name in $imports; do
    tr ' ' '\n' <<<"$LIBRARIES_SAFE_TO_IMPORT" | grep -qxF -- "$name" || unsafe+=" $name"
  done
  assert_eq "" "$unsafe" "imported libraries that a copy beside the program would replace"
}
