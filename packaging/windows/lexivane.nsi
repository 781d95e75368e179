; The Windows installer: the program folder under Program Files, a Start menu entry and an
; uninstaller registered with Windows. Built with makensis; the build passes
;   -DVERSION=1.0.0 -DPROGRAM_DIR=<the built program folder> -DOUTFILE=<installer.exe>
; Silent with /S, both ways. The user's own settings stay on uninstall, as usual on Windows.

; A 64-bit installer, like the program: it runs under a 64-bit-only Wine too.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include "MUI2.nsh"

!ifndef VERSION | PROGRAM_DIR | OUTFILE
  !error "pass -DVERSION=, -DPROGRAM_DIR= and -DOUTFILE="
!endif

!define NAME "Lexivane"
!define PUBLISHER "Tallowick"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lexivane"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
RequestExecutionLevel admin
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${NAME} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\lexivane.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "${NAME}"
  SetOutPath "$INSTDIR"
  ; The program finds its reader, database and pointer beside itself.
  File "${PROGRAM_DIR}\lexivane.exe"
  File "${PROGRAM_DIR}\lexivane-words.exe"
  File "${PROGRAM_DIR}\dbWords.mdb"
  File "${PROGRAM_DIR}\HAND-M.CUR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\lexivane.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\lexivane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\lexivane.exe"
  Delete "$INSTDIR\lexivane-words.exe"
  Delete "$INSTDIR\dbWords.mdb"
  Delete "$INSTDIR\HAND-M.CUR"
  Delete "$INSTDIR\uninstall.exe"
  ; Only if empty: files the user put there are theirs.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
