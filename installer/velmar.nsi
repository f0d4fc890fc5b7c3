; The Windows installer: both programs in Program Files, a Start Menu shortcut to the window,
; and an uninstaller that Apps & Features lists. installer/CMakeLists.txt runs makensis with
; VERSION, OUTFILE and STAGE (the folder holding the programs) defined, and WINDOW when the
; build has the window. /S installs or uninstalls silently.
; The uninstaller removes only what the installer put in place, file by file; the settings in
; %APPDATA%\velmar belong to the user and stay.

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velmar"

Name "velmar ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\velmar"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; For every user: the shortcut in the common Start Menu, the key in HKLM's 64-bit view.
Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "${STAGE}\velmar-load.exe"
!ifdef WINDOW
  File "${STAGE}\velmar.exe"
  CreateShortCut "$SMPROGRAMS\velmar.lnk" "$INSTDIR\velmar.exe" "" "$INSTDIR\velmar.exe" 0
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "velmar"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "velmar maintainers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
!ifdef WINDOW
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmar.exe,0"
!else
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmar-load.exe,0"
!endif
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The folder goes last and only when empty, so that its absence means the rest is gone too.
Section Uninstall
  Delete "$INSTDIR\velmar-load.exe"
  Delete "$INSTDIR\velmar.exe"
  Delete "$SMPROGRAMS\velmar.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
