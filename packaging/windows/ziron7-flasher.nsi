; The Windows installer of the updater, built on Linux by makensis
; (scripts/package-windows.sh). It installs for the current user only, into
; %LOCALAPPDATA%\Programs, so that an operator without administrator rights
; can install, update and remove it. The console program is installed on
; request: its box on the components page, or /CLI on the command line
; (for a silent install, /S /CLI).
; Defines from the command line:
;   VERSION      the program's version, two to four numbers (1.0)
;   FILE_VERSION the same as four numbers, for the version information
;   STAGING      the folder with ziron7-flasher.exe, ziron7-cli.exe and readme.txt
;   ICON         the program's icon file
;   OUTFILE      the installer to write
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include Sections.nsh
!include LogicLib.nsh

!define PRODUCT "Зирон-7"
!define DESCRIPTION "Зирон-7: обновление программы прибора"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ziron7-flasher"
; A file name: no colon.
!define SHORTCUT "$SMPROGRAMS\${PRODUCT} — обновление программы прибора.lnk"
; The uninstaller runs from a copy of itself, and its own file goes only
; once the one started from the folder has ended: tried this often, this
; many milliseconds apart (five seconds in all).
!define UNINSTALLER_DELETE_TRIES 20
!define UNINSTALLER_DELETE_PAUSE_MS 250

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\ziron7-flasher"
; A later installer updates the folder the first one chose.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${DESCRIPTION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_WELCOMEPAGE_TEXT "«${DESCRIPTION}» обновляет встроенную программу прибора через COM-порт.$\r$\n$\r$\nОна устанавливается только для вас, в вашу папку программ: права администратора не нужны. Её значок появится в меню «Пуск», а удалить её можно из списка установленных программ.$\r$\n$\r$\n$_CLICK"
!define MUI_FINISHPAGE_RUN "$INSTDIR\ziron7-flasher.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\readme.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The program speaks Russian only; so does its installer.
!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка: ${DESCRIPTION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "${PRODUCT}"

Section "Программа обновления" SecFlasher
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGING}\ziron7-flasher.exe"
  File "${STAGING}\readme.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\ziron7-flasher.exe" "" \
    "$INSTDIR\ziron7-flasher.exe" 0 SW_SHOWNORMAL "" "${DESCRIPTION}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DESCRIPTION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ziron7-flasher.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Консольная программа ziron7-cli" SecCli
  SetOutPath "$INSTDIR"
  File "${STAGING}\ziron7-cli.exe"
SectionEnd

; Last, once every chosen file is in place.
Section "-EstimatedSize"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecFlasher} "ziron7-flasher.exe, её значок в меню «Пуск» и readme.txt."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecCli} "ziron7-cli.exe: обновление из командной строки и сценариев, для сервисных центров и производства."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CLI" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecCli}
  ${EndIf}
FunctionEnd

; Only what the installer put there: the session logs and settings in
; %LOCALAPPDATA%\ziron7 are the operator's records and stay.
Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\ziron7-flasher.exe"
  Delete "$INSTDIR\ziron7-cli.exe"
  Delete "$INSTDIR\readme.txt"
  StrCpy $0 0
  uninstaller_delete:
    ClearErrors
    Delete "$INSTDIR\uninstall.exe"
    IfErrors 0 uninstaller_deleted
    IntOp $0 $0 + 1
    IntCmp $0 ${UNINSTALLER_DELETE_TRIES} uninstaller_deleted
    Sleep ${UNINSTALLER_DELETE_PAUSE_MS}
    Goto uninstaller_delete
  uninstaller_deleted:
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
