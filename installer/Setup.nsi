; Setup for the QX-310 keyboard software: puts the programs and libraries in
; one folder, starts Tarvolt at logon, and takes everything away again.
;
; The build passes (makensis -D...):
;   PACKAGE_STUB      x86-unicode (Windows 2000/XP) or amd64-unicode
;   PACKAGE_OUTPUT    path of the setup program to write
;   PACKAGE_CONTENTS  generated .nsh: PACKAGE_<Name> paths of the six deliverables
;   PACKAGE_IDENTITY  generated .nsh: PRODUCT_NAME, PRODUCT_VERSION, PRODUCT_PUBLISHER
;
; Command line of the setup program: /S silent, /RUN (silent) start Tarvolt
; when done, /D=folder (last) the program folder.
; Exit codes: 0 done, 1 cancelled, 2 other failure, 3 folder not writable,
; 4 a running Tarvolt did not stop, 5 (uninstall) not installed in that folder.

Unicode true
Target ${PACKAGE_STUB}
SetCompressor /SOLID lzma
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include nsDialogs.nsh
!include "${PACKAGE_CONTENTS}"
!include "${PACKAGE_IDENTITY}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QX-310"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Tarvolt"
!define SETTINGS_KEY "Software\Morvel\QX-310"
!define SETTINGS_PARENT_KEY "Software\Morvel"
!define STARTMENU_FOLDER "$SMPROGRAMS\QX-310"
!define UNINSTALLER "Uninstall.exe"

; How a running Tarvolt is asked to stop: WM_CLOSE with this lParam to the
; window titled with its instance GUID.
!define INSTANCE_GUID "C462E7D9-D5D1-45b6-ABDE-73B7D5C8F3D3"
!define CLOSE_REQUEST_LPARAM 999
!define STOP_TIMEOUT_MS 10000
!define SYNCHRONIZE 0x00100000

!define EXIT_FOLDER_NOT_WRITABLE 3
!define EXIT_STILL_RUNNING 4
!define EXIT_NOT_INSTALLED 5

Name "${PRODUCT_NAME}"
OutFile "${PACKAGE_OUTPUT}"
!if "${PACKAGE_STUB}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\Morvel\QX-310"
!else
  InstallDir "$PROGRAMFILES\Morvel\QX-310"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
; A file that cannot be replaced ends the setup instead of being skipped, so
; no mix of old and new files is left behind.
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show

Var RemoveSettingsBox
Var RemoveSettings
Var StopResult

; ---------------------------------------------------------------- pages

!define MUI_ICON "${__FILEDIR__}/../resources/Tarvolt/Tarvolt.ico"
!define MUI_UNICON "${__FILEDIR__}/../resources/Tarvolt/Tarvolt.ico"

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveFolderPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartTarvoltNow)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartTarvolt
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.ShowRemovalPage un.LeaveRemovalPage
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"
!include /CHARSET=UTF8 "${__FILEDIR__}/Strings-English.nsh"
!include /CHARSET=UTF8 "${__FILEDIR__}/Strings-Korean.nsh"

; The programs' version blocks carry no copyright line, so neither does this one.
!pragma warning disable 9100
VIProductVersion "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT_NAME} Setup"
!if "${PRODUCT_PUBLISHER}" != ""
  VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PRODUCT_PUBLISHER}"
!endif

; ------------------------------------------------ shared by both programs

; Asks a running Tarvolt to stop and waits, at most STOP_TIMEOUT_MS in all,
; for its process to end. Leaves "none", "stopped" or "running" in $StopResult.
!macro DEFINE_STOP_RUNNING_COPY PREFIX
Function ${PREFIX}StopRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $StopResult "none"
  FindWindow $0 "" "${INSTANCE_GUID}"
  ${If} $0 <> 0
    DetailPrint "$(StoppingTarvolt)"
    System::Call "user32::GetWindowThreadProcessId(p r0, *i 0 r1) i"
    System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2"
    System::Call "kernel32::GetTickCount() i .r3"
    SendMessage $0 ${WM_CLOSE} 0 ${CLOSE_REQUEST_LPARAM} /TIMEOUT=${STOP_TIMEOUT_MS}
    System::Call "kernel32::GetTickCount() i .r1"
    IntOp $1 $1 - $3
    IntOp $1 ${STOP_TIMEOUT_MS} - $1
    ${If} $1 < 0
      StrCpy $1 0
    ${EndIf}
    ${If} $2 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i r1) i .r3"
      System::Call "kernel32::CloseHandle(p r2)"
    ${Else}
      ; No handle on the process: its marker window going away is the sign.
      ${Do}
        System::Call "user32::IsWindow(p r0) i .r3"
        ${If} $3 = 0
        ${OrIf} $1 <= 0
          ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 - 100
      ${Loop}
    ${EndIf}
    ${If} $3 = 0
      StrCpy $StopResult "stopped"
    ${Else}
      StrCpy $StopResult "running"
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_RUNNING_COPY ""
!insertmacro DEFINE_STOP_RUNNING_COPY "un."

; ------------------------------------------------------------- installer

; True when a file can be created in $INSTDIR (which is created if missing).
Function IsFolderWritable
  Push $0
  ClearErrors
  CreateDirectory "$INSTDIR"
  FileOpen $0 "$INSTDIR\~qx310-setup.tmp" w
  ${If} ${Errors}
    StrCpy $0 0
  ${Else}
    FileClose $0
    Delete "$INSTDIR\~qx310-setup.tmp"
    StrCpy $0 1
  ${EndIf}
  Exch $0
FunctionEnd

Function LeaveFolderPage
  Call IsFolderWritable
  Pop $0
  ${If} $0 = 0
    MessageBox MB_OK|MB_ICONSTOP "$(FolderNotWritable)"
    Abort
  ${EndIf}
FunctionEnd

Function StartTarvolt
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\Tarvolt.exe"'
FunctionEnd

Section "Install"
  SetShellVarContext current
  Call IsFolderWritable
  Pop $0
  ${If} $0 = 0
    MessageBox MB_OK|MB_ICONSTOP "$(FolderNotWritable)" /SD IDOK
    SetErrorLevel ${EXIT_FOLDER_NOT_WRITABLE}
    Abort "$(FolderNotWritable)"
  ${EndIf}

  Call StopRunningCopy
  ${If} $StopResult == "running"
    MessageBox MB_OK|MB_ICONSTOP "$(TarvoltDidNotStop)" /SD IDOK
    SetErrorLevel ${EXIT_STILL_RUNNING}
    Abort "$(TarvoltDidNotStop)"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${PACKAGE_Tarvolt}"
  File "${PACKAGE_TarvoltXP}"
  File "${PACKAGE_Corvix}"
  File "${PACKAGE_Lqnmod}"
  File "${PACKAGE_Pellor}"
  File "${PACKAGE_Vistrel}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${STARTMENU_FOLDER}"
  CreateShortcut "${STARTMENU_FOLDER}\Tarvolt.lnk" "$INSTDIR\Tarvolt.exe"
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Tarvolt.exe"'
  CreateShortcut "${STARTMENU_FOLDER}\User Key Configuration.lnk" "$INSTDIR\Pellor.exe"
  CreateShortcut "${STARTMENU_FOLDER}\Uninstall.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  !if "${PRODUCT_PUBLISHER}" != ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT_PUBLISHER}"
  !endif
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tarvolt.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RUN" $1
    ${IfNot} ${Errors}
      Call StartTarvolt
    ${EndIf}
  ${EndIf}
SectionEnd

; ----------------------------------------------------------- uninstaller

; The uninstaller only works on the folder that the uninstall entry names, so
; a stray or second copy of it removes nothing.
Function un.onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 != $INSTDIR
    MessageBox MB_OK|MB_ICONSTOP "$(NotInstalledHere)" /SD IDOK
    SetErrorLevel ${EXIT_NOT_INSTALLED}
    Quit
  ${EndIf}
FunctionEnd

Function un.ShowRemovalPage
  !insertmacro MUI_HEADER_TEXT "$(RemovalTitle)" "$(RemovalSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "$(RemovalText)"
  Pop $0
  ${NSD_CreateCheckbox} 0 48u 100% 12u "$(RemoveMySettings)"
  Pop $RemoveSettingsBox
  ${NSD_SetState} $RemoveSettingsBox $RemoveSettings
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
  nsDialogs::Show
FunctionEnd

Function un.LeaveRemovalPage
  ${NSD_GetState} $RemoveSettingsBox $RemoveSettings
FunctionEnd

; The shell may still be reading a shortcut it was just told about: try again
; for a moment before giving up on it.
Function un.RemoveShortcuts
  Push $0
  ${For} $0 1 20
    ClearErrors
    Delete "${STARTMENU_FOLDER}\Tarvolt.lnk"
    Delete "${STARTMENU_FOLDER}\User Key Configuration.lnk"
    Delete "${STARTMENU_FOLDER}\Uninstall.lnk"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    Sleep 250
  ${Next}
  RMDir "${STARTMENU_FOLDER}"
  Pop $0
FunctionEnd

!macro REMOVE_DELIVERABLE FILE
  Delete /REBOOTOK "$INSTDIR\${FILE}"
!macroend

; Started from the program folder, the uninstaller runs as a copy and the
; launcher may not have ended yet: give its file up to 3 s to come free.
Function un.RemoveUninstaller
  StrCpy $0 0
  ${Do}
    Delete "$INSTDIR\${UNINSTALLER}"
    ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    ${OrIf} $0 >= 30
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $0 $0 + 1
  ${Loop}
  !insertmacro REMOVE_DELIVERABLE ${UNINSTALLER}
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.StopRunningCopy
  ${If} $StopResult == "running"
    MessageBox MB_OK|MB_ICONSTOP "$(TarvoltDidNotStop)" /SD IDOK
    SetErrorLevel ${EXIT_STILL_RUNNING}
    Abort "$(TarvoltDidNotStop)"
  ${EndIf}

  !insertmacro REMOVE_DELIVERABLE Tarvolt.exe
  !insertmacro REMOVE_DELIVERABLE TarvoltXP.dll
  !insertmacro REMOVE_DELIVERABLE Corvix.dll
  !insertmacro REMOVE_DELIVERABLE Lqnmod.dll
  !insertmacro REMOVE_DELIVERABLE Pellor.exe
  !insertmacro REMOVE_DELIVERABLE Vistrel.exe
  Call un.RemoveUninstaller
  ; Not /r: whatever the user put in the folder stays, and so does the folder.
  RMDir "$INSTDIR"

  Call un.RemoveShortcuts

  ; The logon entry goes only when it still starts this copy.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\Tarvolt.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${If} $RemoveSettings = ${BST_CHECKED}
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT_KEY}"
  ${EndIf}
SectionEnd
