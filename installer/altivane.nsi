; Altivane's Windows installer (NSIS 3, makensis). installer/CMakeLists.txt passes:
;   TARGET    x86-unicode (the shipped 32-bit installer) or amd64-unicode (the 64-bit test build)
;   PROGRAMS  folder with altivane.exe, simhost.exe and altivane-inspect.exe
;   STATIONS  the world station list (data/world/Altivane/stations/station.txt)
;   README    the text installed next to the programs
;   ICON      the program's icon
;   VERSION   and OUTFILE
;
; It installs the programs (Program Files for everyone, or the user's own programs folder without
; administrator rights), and into FS2004's folder the station list and an empty weather folder;
; registers the automation class for the installing user; makes a Start menu entry and an
; uninstaller listed in Apps & features. Command line, besides /S and /D=:
;   /AllUsers, /CurrentUser   install for everyone or for the installing user only
;   /FS2004=DIR               FS2004's folder, when not the one its registry entry names
; The uninstaller keeps the downloaded weather unless asked (its page, or /RemoveWeather).

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Altivane"
; FS2004's own entry, in the 32-bit view (FS2004 is a 32-bit program); altivane.exe reads the same.
!define FS2004_KEY "SOFTWARE\Microsoft\Microsoft Games\Flight simulator\9.0"

Name "Altivane"
OutFile "${OUTFILE}"
BrandingText "Altivane ${VERSION}"
ManifestDPIAware true

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Altivane"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "UninstallString"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

Var SimFolder        ; where the station list and the weather folder go
Var RegistryFolder   ; what FS2004's registry entry names, "" without one
Var GivenInstDir     ; /D= (MultiUser would put its own default in its place)

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Flight Simulator 2004"
!define MUI_PAGE_HEADER_SUBTEXT "Where is FS2004 installed?"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Altivane puts its station list (Altivane\stations\station.txt, the weather stations of the whole world) and its weather folder (Altivane\Weather) into the folder of FS2004, next to FS9.EXE. Altivane finds that folder through FS2004's registry entry; the folder below is the one that entry names."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "FS2004 folder"
!define MUI_DIRECTORYPAGE_VARIABLE $SimFolder
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE SimFolderLeave
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\altivane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Altivane"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Downloaded weather stays in FS2004's Altivane\Weather folder unless you tick it."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Altivane"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Altivane setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Altivane"

Function .onInit
  StrCpy $GivenInstDir $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $GivenInstDir != ""
    StrCpy $INSTDIR $GivenInstDir
  ${EndIf}

  SetRegView 32
  ReadRegStr $RegistryFolder HKLM "${FS2004_KEY}" "EXE Path"
  SetRegView lastused
  ; The program appends a backslash to the entry; a folder name here has none.
  StrCpy $SimFolder $RegistryFolder
  ${Do}
    StrCpy $0 $SimFolder 1 -1
    ${IfThen} $0 != "\" ${|} ${ExitDo} ${|}
    StrCpy $SimFolder $SimFolder -1
  ${Loop}

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/FS2004=" $1
  ${IfNot} ${Errors}
    StrCpy $SimFolder $1
  ${EndIf}
  ${If} ${Silent}
  ${AndIf} $SimFolder == ""
    ; Nowhere to put the station list: say so in the exit code.
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Function SimFolderLeave
  ${If} $RegistryFolder == ""
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "FS2004's registry entry was not found. Altivane reads the simulator folder from it, so until FS2004 is installed here it will say that it found no FS2004 folder.$\r$\n$\r$\nPut the station list into $SimFolder all the same?" /SD IDYES IDYES +2
    Abort
  ${ElseIf} $SimFolder != $RegistryFolder
  ${AndIf} "$SimFolder\" != $RegistryFolder
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "FS2004's registry entry names $RegistryFolder, and that is where Altivane will look for its station list.$\r$\n$\r$\nPut the station list into $SimFolder all the same?" /SD IDYES IDYES +2
    Abort
  ${EndIf}
FunctionEnd

Section "Altivane"
  SetOutPath "$INSTDIR"
  File "${PROGRAMS}\altivane.exe"
  File "${PROGRAMS}\simhost.exe"
  File "${PROGRAMS}\altivane-inspect.exe"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetOutPath "$SimFolder\Altivane\stations"
  File "${STATIONS}"
  CreateDirectory "$SimFolder\Altivane\Weather"
  SetOutPath "$INSTDIR"

  CreateShortcut "$SMPROGRAMS\Altivane.lnk" "$INSTDIR\altivane.exe"

  ; The automation class of the installing user; every ordinary start registers it again for
  ; whoever starts the program.
  ExecWait '"$INSTDIR\altivane.exe" /Regserver' $0
  ${If} $0 != 0
    DetailPrint "altivane.exe /Regserver failed ($0): the automation class is registered at the first start"
  ${EndIf}

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Altivane"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Altivane"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\altivane.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "SimulatorFolder" "$SimFolder"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "-un.Altivane"
  ReadRegStr $SimFolder SHCTX "${UNINSTALL_KEY}" "SimulatorFolder"
  ExecWait '"$INSTDIR\altivane.exe" /Unregserver'

  Delete "$INSTDIR\altivane.exe"
  Delete "$INSTDIR\simhost.exe"
  Delete "$INSTDIR\altivane-inspect.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the folder may be one the user picked and keeps other things in.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Altivane.lnk"

  ${If} $SimFolder != ""
    Delete "$SimFolder\Altivane\stations\station.txt"
    RMDir "$SimFolder\Altivane\stations"
  ${EndIf}
SectionEnd

Section /o "un.Downloaded weather" SecWeather
  ${If} $SimFolder != ""
    RMDir /r "$SimFolder\Altivane\Weather"
  ${EndIf}
SectionEnd

Section "-un.Tidy"
  ${If} $SimFolder != ""
    RMDir "$SimFolder\Altivane"
  ${EndIf}
  ; Last: the entry in Apps & features goes once everything else is done (the uninstaller runs
  ; from a copy of itself, so this is what tells that it has ended).
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveWeather" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecWeather} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecWeather} "The METAR and upper-air files Altivane downloaded and the weather view page, in FS2004's Altivane\Weather folder."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
