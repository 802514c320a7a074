; The Windows setup: one 32-bit installer carrying both builds of Cubrix.scr.
; makensis -DVERSION=x.y.z -DX64_SCR=... -DX86_SCR=... -DCUBE_DAT=... -DLICENSE_FILE=... -DICON=...
;          -DX64_KB=.. -DX86_KB=.. -DCUBE_KB=.. -DLICENSE_KB=.. -DUNINSTALL_KB=.. -DUNINSTALLER_COPY=...
;          -DOUTFILE=...
; (the sizes in KB, rounded up: scripts/package measures them; the uninstaller is copied out so it
; can be measured.)
; On 64-bit Windows the 64-bit saver goes into the real System32, on 32-bit Windows the 32-bit
; one; Cube.dat goes into the Windows directory only when there is none. Silent with /S;
; /ACTIVE makes Cubrix the active screen saver in a silent run too.

Unicode true
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include MUI2.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cubrix"
!define DESKTOP_KEY "Control Panel\Desktop"

Name "Cubrix ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Cubrix"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
BrandingText "Cubrix ${VERSION}"
!uninstfinalize 'cp "%1" "${UNINSTALLER_COPY}"'

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Cubrix"
VIAddVersionKey /LANG=1033 "FileDescription" "Cubrix setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 the Cubrix authors"

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The registry and file-system view of the saver's own bitness.
!macro NativeView
  ${If} ${RunningX64}
    SetRegView 64
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend
!macro NormalView
  ${If} ${RunningX64}
    ${EnableX64FSRedirection}
  ${EndIf}
!macroend

Section "Cubrix screen saver" SecSaver
  SectionIn RO
  !insertmacro NativeView
  SetOutPath "$SYSDIR"
  ${If} ${RunningX64}
    File "/oname=Cubrix.scr" "${X64_SCR}"
  ${Else}
    File "/oname=Cubrix.scr" "${X86_SCR}"
  ${EndIf}
  !insertmacro NormalView

  ; A Cube.dat already there is the user's: keep it, and say so for the uninstaller. One an
  ; earlier run of this installer put there stays marked as the installer's.
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "InstalledCubeDat"
  ${If} ${FileExists} "$WINDIR\Cube.dat"
    ${IfThen} $0 != 1 ${|} WriteRegDWORD HKLM "${UNINSTALL_KEY}" "InstalledCubeDat" 0 ${|}
  ${Else}
    SetOutPath "$WINDIR"
    File "/oname=Cube.dat" "${CUBE_DAT}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "InstalledCubeDat" 1
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=LICENSE.txt" "${LICENSE_FILE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Cubrix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Cubrix developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Add/Remove Programs shows the same size in KB as "Space required" did.
  SectionGetSize ${SecSaver} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Make Cubrix the active screen saver" SecActive
  ; The saver it replaces comes back on uninstall, as long as Cubrix is still the one chosen.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${GetFileName} $0 $1
  ${If} $1 != "Cubrix.scr"  ; installed again: keep what was there before the first time
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PreviousScreenSaver" $0
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\Cubrix.scr"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
SectionEnd

Function .onInit
  ; "Space required" counts what this Windows gets: one of the two savers, the sample only where
  ; there is none yet, the licence and the uninstaller (makensis would count both savers and
  ; the sample always, and never the uninstaller).
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\Cubrix"
    StrCpy $0 ${X64_KB}
  ${Else}
    StrCpy $0 ${X86_KB}
  ${EndIf}
  IntOp $0 $0 + ${LICENSE_KB}
  IntOp $0 $0 + ${UNINSTALL_KB}
  ${IfNot} ${FileExists} "$WINDIR\Cube.dat"
    IntOp $0 $0 + ${CUBE_KB}
  ${EndIf}
  SectionSetSize ${SecSaver} $0
  ; A silent run changes the active screen saver only when asked to.
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/ACTIVE" $1
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecActive}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Sets $0 to 1 when the two files hold the same bytes, else 0.
Function un.SameFile
  Exch $R1  ; second file
  Exch
  Exch $R0  ; first file
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  StrCpy $0 0
  FileOpen $R2 $R0 r
  FileOpen $R3 $R1 r
  ${If} $R2 != ""
  ${AndIf} $R3 != ""
    ${Do}
      ClearErrors
      FileReadByte $R2 $R4
      ${If} ${Errors}
        ClearErrors
        FileReadByte $R3 $R5
        ${IfThen} ${Errors} ${|} StrCpy $0 1 ${|}
        ${Break}
      ${EndIf}
      FileReadByte $R3 $R5
      ${IfThen} ${Errors} ${|} ${Break} ${|}
      ${IfThen} $R4 != $R5 ${|} ${Break} ${|}
    ${Loop}
  ${EndIf}
  ${IfThen} $R2 != "" ${|} FileClose $R2 ${|}
  ${IfThen} $R3 != "" ${|} FileClose $R3 ${|}
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R0
  Pop $R1
FunctionEnd

Section "Uninstall"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ; The sample goes only when this installer put it there and it is still the sample.
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "InstalledCubeDat"
  ${If} $1 == 1
    InitPluginsDir
    SetOutPath "$PLUGINSDIR"
    File "/oname=Cube.sample" "${CUBE_DAT}"
    Push "$WINDIR\Cube.dat"
    Push "$PLUGINSDIR\Cube.sample"
    Call un.SameFile
    ${IfThen} $0 == 1 ${|} Delete "$WINDIR\Cube.dat" ${|}
    SetOutPath "$TEMP"
  ${EndIf}

  ; Still the chosen saver: hand back the one it replaced, or none.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${GetFileName} $0 $1
  ${If} $1 == "Cubrix.scr"
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "PreviousScreenSaver"
    ${If} $2 == ""
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $2
    ${EndIf}
  ${EndIf}

  !insertmacro NativeView
  Delete "$SYSDIR\Cubrix.scr"
  !insertmacro NormalView
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
