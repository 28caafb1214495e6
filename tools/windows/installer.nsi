; The Windows installer, made by tools/windows/build.sh:
;   makensis -DVERSION=0.1.0 -DSTAGE=<folder> -DOUTFILE=<setup.exe> [-DHAVE_VIEWER] installer.nsi
; STAGE holds the installed tree: bin\ (the programs, LANGUAGE.INI, the manuals,
; Qt) and an empty data\ for the plant's tables. The viewer reads its tables
; and settings from ..\data below its current folder, so the shortcut starts
; it in bin\. Installed for the current user only: no administrator rights,
; and data\ stays writable.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define NAME "Vorn Scheduler"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VornScheduler"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "Install"
    SetShellVarContext current
    SetOutPath "$INSTDIR\bin"
    File /r "${STAGE}\bin\*.*"
    CreateDirectory "$INSTDIR\data"
    WriteUninstaller "$INSTDIR\uninstall.exe"
!ifdef HAVE_VIEWER
    ; The working folder of a shortcut is the output path when it is made.
    SetOutPath "$INSTDIR\bin"
    CreateDirectory "$SMPROGRAMS\${NAME}"
    CreateShortCut "$SMPROGRAMS\${NAME}\${NAME}.lnk" "$INSTDIR\bin\vorn-scheduler.exe"
    CreateShortCut "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk" "$INSTDIR\uninstall.exe"
!endif
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Vorn Automation"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    RMDir /r "$INSTDIR\bin"
    ; The plant's tables and settings are the user's: data\ goes only when empty.
    RMDir "$INSTDIR\data"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${NAME}\${NAME}.lnk"
    Delete "$SMPROGRAMS\${NAME}\Uninstall ${NAME}.lnk"
    RMDir "$SMPROGRAMS\${NAME}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
