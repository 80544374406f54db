; Furlane's Windows installer, made on Linux by scripts/build-windows.sh:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0 -DFILE_VERSION=1.0.0.0 -DPUBLISHER=Furlane
;            -DICON=furlane.ico -DINSTALL_FILES=install.nsh -DREMOVE_FILES=remove.nsh
;            -DOUTFILE=Furlane-Setup-1.0.exe [-DSIGN_UNINSTALLER=command] installer.nsi
;
; INSTALL_FILES and REMOVE_FILES are generated from the release folder: the
; File lines of what is shipped, and the Delete and RMDir lines that take
; exactly those files away again.
;
; A per-user install: no administrator rights, the program under
; %LOCALAPPDATA%\Programs\Furlane, a Start-menu shortcut and an entry in
; "Apps & features", all of the current user. The uninstaller removes only
; what the installer put there and what the program's own update leaves
; beside it: the game's mod folder and the skins in it belong to the game
; and stay, as do the user's settings, records and cover cache.

; A 64-bit installer for a 64-bit program; it also runs where 32-bit
; programs cannot (a Wine without its 32-bit half).
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef VERSION | FILE_VERSION | PUBLISHER | ICON | INSTALL_FILES | REMOVE_FILES | OUTFILE
  !error "VERSION, FILE_VERSION, PUBLISHER, ICON, INSTALL_FILES, REMOVE_FILES and OUTFILE must be defined"
!endif

!define PRODUCT "Furlane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Furlane"
!define SHORTCUT "$SMPROGRAMS\Furlane.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Furlane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

!ifdef SIGN_UNINSTALLER
  ; The uninstaller is written inside the installer: it is signed before.
  !uninstfinalize '${SIGN_UNINSTALLER} "%1"' = 0
!endif

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\furlane.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "Furlane"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "${INSTALL_FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\furlane.exe" "" "$INSTDIR\app.ico" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\app.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "${SHORTCUT}"
  !include "${REMOVE_FILES}"
  ; What the program's self-update leaves in its folder: the new program
  ; under the name it was published with, and a script that did not finish.
  Delete "$INSTDIR\Furlane*.exe"
  Delete "$INSTDIR\update.bat"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an emptied folder goes: anything the user put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
