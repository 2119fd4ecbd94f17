; Tesmuro's installer (NSIS 3, Unicode). Built by the build (installer/CMakeLists.txt) with
;   makensis -DVERSION=1.0.3 -DPROGRAM=Tesmuro.exe -DHELP=Quorlin.chm -DLICENCE=License.txt
;            -DOUTFILE=Tesmuro-1.0.3-setup.exe tesmuro.nsi
; Per user by default, with no administrator rights: %LOCALAPPDATA%\Programs\Tesmuro, keys under
; HKCU. Run as administrator with /ALLUSERS: Program Files, keys under HKLM. /S: silently, with the
; defaults. The uninstaller keeps the user's settings unless 删除设置 is ticked.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Tesmuro"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tesmuro"
!define FILE_TYPE "Tesmuro.Script"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} 安装"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Tesmuro 开发组"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tesmuro.exe"
!insertmacro MUI_PAGE_WELCOME
; The page names its button as the button reads (the language file's text says 我同意).
!define MUI_LICENSEPAGE_TEXT_BOTTOM "如果你接受许可证的条款，请点击 [我接受(I)] 继续安装。你必须在接受后才能安装 $(^NameDA)。"
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

Var AllUsers

Function .onInit
  StrCpy $AllUsers 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $R2
    ${If} $R2 == "Admin"
      StrCpy $AllUsers 1
    ${Else}
      MessageBox MB_OK|MB_ICONEXCLAMATION "为所有用户安装需要以管理员身份运行安装程序；现在为当前用户安装。" /SD IDOK
    ${EndIf}
  ${EndIf}
  ${If} $AllUsers == 1
    SetShellVarContext all
    ; a 32-bit program: Program Files (x86) on a 64-bit system
    StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; A running copy holds Tesmuro.exe open: it is asked to close before a file is copied (silently:
; the installation ends with code 2 and changes nothing).
Function CloseRunningCopy
  again:
  ${IfNot} ${FileExists} "$INSTDIR\Tesmuro.exe"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $R0 "$INSTDIR\Tesmuro.exe" a
  ${IfNot} ${Errors}
    FileClose $R0
    Return
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} 正在运行。请先退出 ${PRODUCT}，然后点击“重试”；点击“取消”结束安装。" /SD IDCANCEL IDRETRY again
  DetailPrint "${PRODUCT} 正在运行，安装已取消。"
  Abort
FunctionEnd

; The uninstaller removes the parent keys only when this installation made them.
!macro RememberNewKey KEY NAME
  ClearErrors
  EnumRegKey $R0 SHCTX "${KEY}" 0
  ${If} ${Errors}
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "${NAME}" 1
  ${EndIf}
!macroend

Section "Tesmuro"
  SectionIn RO
  Call CloseRunningCopy
  ; Asked before anything is written (the uninstall key itself makes its parents).
  !insertmacro RememberNewKey "Software\Classes" "MadeClassesKey"
  !insertmacro RememberNewKey "Software\Microsoft\Windows\CurrentVersion\Uninstall" "MadeUninstallKey"
  SetOutPath "$INSTDIR"
  File "/oname=Tesmuro.exe" "${PROGRAM}"
  File "/oname=Quorlin.chm" "${HELP}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Tesmuro.exe" "" "$INSTDIR\Tesmuro.exe" 0

  ; The script file type: open (a double click) loads the script, 播放 plays it and ends.
  WriteRegStr SHCTX "Software\Classes\.crec" "" "${FILE_TYPE}"
  WriteRegStr SHCTX "Software\Classes\${FILE_TYPE}" "" "Tesmuro 动作记录"
  WriteRegStr SHCTX "Software\Classes\${FILE_TYPE}\DefaultIcon" "" '"$INSTDIR\Tesmuro.exe",0'
  WriteRegStr SHCTX "Software\Classes\${FILE_TYPE}\shell" "" "open"
  WriteRegStr SHCTX "Software\Classes\${FILE_TYPE}\shell\open\command" "" '"$INSTDIR\Tesmuro.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\${FILE_TYPE}\shell\play" "" "播放"
  WriteRegStr SHCTX "Software\Classes\${FILE_TYPE}\shell\play\command" "" '"$INSTDIR\Tesmuro.exe" /play "%1" /exit'

  ; The entry in the system's list of programs.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Tesmuro 开发组"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Tesmuro.exe",0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; GetSize reports on the details in English: quiet, and said here in Chinese.
  SetDetailsPrint none
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  SetDetailsPrint both
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  DetailPrint "已安装 $1 个文件，共 $0 KB。"

  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function un.onInit
  ; Installed for all users when the machine's entry names this folder.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; Removes the start-with-the-system value of one hive when it starts this copy.
!macro RemoveAutoRun ROOT
  ReadRegStr $R1 ${ROOT} "${RUN_KEY}" "Quorlin"
  ${If} $R1 == '"$INSTDIR\Tesmuro.exe"'
    DeleteRegValue ${ROOT} "${RUN_KEY}" "Quorlin"
  ${EndIf}
!macroend

Section "un.Tesmuro"
  SectionIn RO
  Delete "$INSTDIR\Tesmuro.exe"
  Delete "$INSTDIR\Quorlin.chm"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  ReadRegStr $R0 SHCTX "Software\Classes\.crec" ""
  ${If} $R0 == "${FILE_TYPE}"
    DeleteRegValue SHCTX "Software\Classes\.crec" ""
    DeleteRegKey /ifempty SHCTX "Software\Classes\.crec"
  ${EndIf}
  DeleteRegKey SHCTX "Software\Classes\${FILE_TYPE}"
  ReadRegDWORD $R2 SHCTX "${UNINSTALL_KEY}" "MadeUninstallKey"
  ReadRegDWORD $R3 SHCTX "${UNINSTALL_KEY}" "MadeClassesKey"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The parents only when the installation made them, and nothing else is in them now.
  ${If} $R2 == 1
    DeleteRegKey /ifempty SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  ${EndIf}
  ${If} $R3 == 1
    DeleteRegKey /ifempty SHCTX "Software\Classes"
  ${EndIf}
  !insertmacro RemoveAutoRun HKLM
  !insertmacro RemoveAutoRun HKCU
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section /o "un.删除设置"
  ; A copy that could write beside itself kept them there; an installed one keeps them with the user.
  Delete "$INSTDIR\Quorlin.qlset"
  Delete "$INSTDIR\Quorlin.qlkeys"
  SetShellVarContext current
  Delete "$APPDATA\${PRODUCT}\Quorlin.qlset"
  Delete "$APPDATA\${PRODUCT}\Quorlin.qlkeys"
  RMDir "$APPDATA\${PRODUCT}"
SectionEnd

Section "-un.Folder"
  ; Only an empty folder goes: what the user put there stays.
  RMDir "$INSTDIR"
  ; The parents a first per-user installation made, when nothing else is in them.
  RMDir "$LOCALAPPDATA\Programs"
SectionEnd
