; The Windows installer: the executables of the machine's own width (x64 on
; 64-bit Windows, x86 on 32-bit Windows) into Program Files\Orbelle for every
; user, a Start-menu shortcut, an Apps and Features entry and the two
; Application event-log sources. Silent with /S, and so is its uninstaller.
; Packaging.cmake runs it as
;   makensis -DVERSION=1.2.3.4 -DX64_DIR=... -DX86_DIR=... -DLICENSE=... -DICON=... -DOUTFILE=...
Unicode true
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Orbelle"
!define PUBLISHER "Brenvik - Pavik"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define EVENT_SOURCES "SYSTEM\CurrentControlSet\Services\EventLog\Application"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
Icon "${ICON}"
UninstallIcon "${ICON}"
LicenseData "${LICENSE}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "Copyright (C) 2026 ${PUBLISHER}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A 32-bit program on 64-bit Windows sees the 32-bit registry view and
; Program Files (x86) unless told otherwise. /D= still chooses the folder.
Function .onInit
    SetShellVarContext all
    ${If} ${RunningX64}
        SetRegView 64
        ${IfThen} $INSTDIR == "" ${|} StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}" ${|}
    ${Else}
        ${IfThen} $INSTDIR == "" ${|} StrCpy $INSTDIR "$PROGRAMFILES32\${PRODUCT}" ${|}
    ${EndIf}
FunctionEnd

Function un.onInit
    SetShellVarContext all
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

!macro EventSource NAME
    WriteRegExpandStr HKLM "${EVENT_SOURCES}\${NAME}" EventMessageFile "$INSTDIR\${NAME}.exe"
    WriteRegDWORD HKLM "${EVENT_SOURCES}\${NAME}" TypesSupported 7
!macroend

Section
    SetOutPath $INSTDIR
    ${If} ${RunningX64}
        File "${X64_DIR}/OrbelleC.exe"
        File "${X64_DIR}/Orbelle.exe"
    ${Else}
        File "${X86_DIR}/OrbelleC.exe"
        File "${X86_DIR}/Orbelle.exe"
    ${EndIf}
    File "/oname=LICENSE.TXT" "${LICENSE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Orbelle.exe" "/I"

    WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Orbelle.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0

    !insertmacro EventSource OrbelleC
    !insertmacro EventSource Orbelle
SectionEnd

; Only what the installer added; the folder itself goes when it is empty.
; The uninstaller deletes itself last, so a removed folder means it is done.
Section Uninstall
    DeleteRegKey HKLM "${EVENT_SOURCES}\OrbelleC"
    DeleteRegKey HKLM "${EVENT_SOURCES}\Orbelle"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\OrbelleC.exe"
    Delete "$INSTDIR\Orbelle.exe"
    Delete "$INSTDIR\LICENSE.TXT"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
