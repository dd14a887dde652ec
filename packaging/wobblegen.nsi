; The Windows installer, wobblegen-VERSION-setup.exe: the programs the build made, the README and
; the licence under %ProgramFiles%\wobblegen, Start-menu links, and an entry in the list of
; installed programs with its uninstaller. Built by the Windows build's target `installer`
; (cmake/packaging.cmake), which defines:
;   VERSION   the version, 1.0.0.3
;   STAGE     the folder holding the stripped programs, README.txt and LICENSE.txt
;   OUTFILE   the installer to write
;   WITH_GUI, WITH_METER, WITH_METER_GUI   each when its program is built
;   ICON      the programs' icon file, for the installer and the uninstaller (optional)
; Silent: setup.exe /S [/D=FOLDER] and Uninstall.exe /S.

Unicode true
Target amd64-unicode ; a 64-bit installer: its own view of the registry and Program Files
SetCompressor /SOLID lzma
ManifestDPIAware true
ManifestSupportedOS all
RequestExecutionLevel admin

!define PRODUCT wobblegen
!define PUBLISHER "the wobblegen developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define METER_LINK "Wow and Flutter Meter"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
LicenseData "${STAGE}/LICENSE.txt"
ShowInstDetails show
!ifdef ICON
  Icon "${ICON}"
  UninstallIcon "${ICON}"
!endif
ShowUninstDetails show

; The version block Explorer shows for the installer itself.
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "GNU General Public License"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Programs"
  SetShellVarContext all ; Start-menu links for every user
  SetOutPath "$INSTDIR"
  File "${STAGE}/wobblegen-cli.exe"
!ifdef WITH_GUI
  File "${STAGE}/wobblegen.exe"
!endif
!ifdef WITH_METER
  File "${STAGE}/wobblemeter.exe"
!endif
!ifdef WITH_METER_GUI
  File "${STAGE}/wobblemeter-gui.exe"
!endif
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

!ifdef WITH_GUI
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\wobblegen.exe"
!endif
!ifdef WITH_METER_GUI
  CreateShortcut "$SMPROGRAMS\${METER_LINK}.lnk" "$INSTDIR\wobblemeter-gui.exe"
!endif

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\wobblegen-cli.exe"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there, and the folder when nothing else is left in it.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${METER_LINK}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\wobblegen.exe"
  Delete "$INSTDIR\wobblegen-cli.exe"
  Delete "$INSTDIR\wobblemeter.exe"
  Delete "$INSTDIR\wobblemeter-gui.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
