; The console's setup program, KELTA_Display-setup-<version>.exe (packaging/windows/CMakeLists.txt
; runs makensis with the defines below). Started normally it installs for the current user
; without administrator rights, into %LOCALAPPDATA%\Programs\KELTA Display; started elevated
; ("Run as administrator"), for all users into Program Files. /CURRENTUSER and /ALLUSERS choose
; outright (/ALLUSERS asks Windows for the rights), /D=<folder> (last on the line) picks the
; folder, /S installs without a window.
;   VERSION  the program's version (4.0)       VERSION4 the same in four numbers (4.0.0.0)
;   STAGE    the folder holding the files to install
;   ICON     the program's icon file            OUTFILE  the setup program to write
; The installed copy is told from a portable one by installed.txt beside the program: it keeps
; its settings, log and recording settings in %LOCALAPPDATA%\KELTA and reads its help and dial
; pictures from the installation folder; its recordings go to Documents\KELTA (or the folder the
; operator chose). The uninstaller leaves all of those.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define APP_NAME "KELTA Display"
!define APP_EXE "KELTA_Dispaly.exe"
!define PUBLISHER "KELTA"
!define UNINSTALL_EXE "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KELTA Display"

Name "${APP_NAME}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
BrandingText "${APP_NAME} ${VERSION}"
VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${APP_NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP_NAME} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; "all" or "current": whose installation this is.
Var Scope

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP_EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP_NAME}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Shortcuts, the registry view and the default folder for Scope.
!macro UseScope
  ${If} $Scope == "all"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

Function .onInit
  ; Elevated means the token holds the administrators' group enabled; an administrator's
  ; ordinary (filtered) start counts as a user's.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $Scope "all"
  ${Else}
    StrCpy $Scope "current"
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CURRENTUSER" $2
  ${IfNot} ${Errors}
    StrCpy $Scope "current"
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/ALLUSERS" $2
  ${IfNot} ${Errors}
    ${If} $0 != "Admin"
      ; Asks Windows for the rights: the same setup program again, elevated.
      ClearErrors
      ExecShell "runas" "$EXEPATH" "$1"
      ${If} ${Errors}
        MessageBox MB_ICONSTOP|MB_OK "Installing for all users needs administrator rights: start the setup program with $\"Run as administrator$\"." /SD IDOK
        SetErrorLevel 5
      ${EndIf}
      Quit
    ${EndIf}
    StrCpy $Scope "all"
  ${EndIf}
  ; /D= came first; else the user's own programs folder or Program Files.
  ${If} $INSTDIR == ""
    ${If} $Scope == "all"
      StrCpy $INSTDIR "$PROGRAMFILES64\${APP_NAME}"
    ${Else}
      SetShellVarContext current
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${APP_NAME}"
    ${EndIf}
  ${EndIf}
  !insertmacro UseScope
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${STAGE}\${APP_EXE}"
  File "${STAGE}\help.txt"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\img"
  File "${STAGE}\img\Mode0.png"
  File "${STAGE}\img\Mode1.png"
  File "${STAGE}\img\Mode2.png"
  File "${STAGE}\img\Mode3.png"
  File "${STAGE}\img\arrow2.PNG"
  SetOutPath "$INSTDIR"
  ; What makes the program keep its own files in %LOCALAPPDATA%\KELTA.
  FileOpen $0 "$INSTDIR\installed.txt" w
  ${If} $0 == ""
    Abort "Cannot write $INSTDIR\installed.txt"
  ${EndIf}
  FileWrite $0 "${APP_NAME} ${VERSION} was installed here by its setup program.$\r$\n"
  FileWrite $0 "Its settings and log are kept in %LOCALAPPDATA%\KELTA.$\r$\n"
  FileClose $0
  WriteUninstaller "$INSTDIR\${UNINSTALL_EXE}"

  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\${APP_EXE}$\",0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\${UNINSTALL_EXE}$\""
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\${UNINSTALL_EXE}$\" /S"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as the list shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  ; The installation this uninstaller belongs to is the machine's when the machine's entry
  ; names its folder.
  StrCpy $Scope "current"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $Scope "all"
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      ; Apps & features starts the uninstaller as the user: it asks Windows for the rights
      ; itself, from the installed copy (this one runs from a temporary copy).
      StrCpy $2 ""
      ${If} ${Silent}
        StrCpy $2 "/S"
      ${EndIf}
      ClearErrors
      ExecShell "runas" "$INSTDIR\${UNINSTALL_EXE}" "$2"
      ${If} ${Errors}
        MessageBox MB_ICONSTOP|MB_OK "${APP_NAME} was installed for all users: removing it needs administrator rights." /SD IDOK
        SetErrorLevel 5
      ${EndIf}
      Quit
    ${EndIf}
  ${EndIf}
  !insertmacro UseScope
FunctionEnd

; Only what the setup program put there: the user's settings and log (%LOCALAPPDATA%\KELTA) and
; recordings (Documents\KELTA) stay, and a folder that still holds anything else stays too.
Section "Uninstall"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  Delete "$INSTDIR\${APP_EXE}"
  Delete "$INSTDIR\help.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\installed.txt"
  Delete "$INSTDIR\img\Mode0.png"
  Delete "$INSTDIR\img\Mode1.png"
  Delete "$INSTDIR\img\Mode2.png"
  Delete "$INSTDIR\img\Mode3.png"
  Delete "$INSTDIR\img\arrow2.PNG"
  RMDir "$INSTDIR\img"
  Delete "$INSTDIR\${UNINSTALL_EXE}"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
