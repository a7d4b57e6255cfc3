; The Windows installer: Kivrel.exe and the command-line tool for all users, a Start menu
; shortcut, the .qdx file type, and an uninstaller listed in Apps & features that takes away
; exactly what was installed.
;
; makensis -DVERSION=2.4.0 -DSTAGE=DIR -DOUTFILE=SETUP.exe -DICON=app.ico kivrel.nsi
; STAGE holds the files to install; FILES (a generated include in STAGE's parent) lists them.

!ifndef VERSION | STAGE | OUTFILE | ICON
  !error "define VERSION, STAGE, OUTFILE and ICON"
!endif

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Integration.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivrel"
!define PROGID "Kivrel.UpdateFile"
!define CLASSES "Software\Classes"

Name "Kivrel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kivrel"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Kivrel ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "Kivrel"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Kivrel ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "Kivrel"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (c) 2026 the Kivrel authors"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Kivrel.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "${STAGE}.files.nsh"  ; !macros InstallFiles and RemoveFiles

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Kivrel"
  !insertmacro InstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetOutPath "$INSTDIR"  ; the shortcut's working folder
  CreateShortcut "$SMPROGRAMS\Kivrel.lnk" "$INSTDIR\Kivrel.exe" "" "$INSTDIR\Kivrel.exe" 0

  ; .qdx opens in Kivrel.exe. A type another program owned is remembered, so that
  ; uninstalling gives it back.
  ReadRegStr $0 HKLM "${CLASSES}\.qdx" ""
  ${If} $0 != ""
  ${AndIf} $0 != "${PROGID}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PreviousQdxType" $0
  ${EndIf}
  WriteRegStr HKLM "${CLASSES}\.qdx" "" "${PROGID}"
  WriteRegStr HKLM "${CLASSES}\${PROGID}" "" "Kivrel update file"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\DefaultIcon" "" '"$INSTDIR\Kivrel.exe",0'
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\Kivrel.exe" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kivrel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Kivrel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Kivrel.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${NotifyShell_AssocChanged}
SectionEnd

Section "Uninstall"
  !insertmacro RemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"  ; only when empty: never what the user put there
  Delete "$SMPROGRAMS\Kivrel.lnk"

  DeleteRegKey HKLM "${CLASSES}\${PROGID}"
  ReadRegStr $0 HKLM "${CLASSES}\.qdx" ""
  ${If} $0 == "${PROGID}"
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "PreviousQdxType"
    ${If} $1 != ""
      WriteRegStr HKLM "${CLASSES}\.qdx" "" $1
    ${Else}
      DeleteRegValue HKLM "${CLASSES}\.qdx" ""
    ${EndIf}
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${CLASSES}\.qdx"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ${NotifyShell_AssocChanged}
SectionEnd
