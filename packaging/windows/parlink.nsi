; The Windows installer: Parlink in Program Files for all users, a Start-menu shortcut, an uninstaller that Windows
; lists, and the choice to start Parlink with Windows. A running Parlink is asked to quit first and, after an
; upgrade, started again. /S installs and uninstalls silently; an upgrade keeps the autostart as it was, a first
; installation has it; /AUTOSTART and /NOAUTOSTART choose.
; makensis -DVERSION=1.2.3.4 -DAPP_DIR=<folder that runs in place> -DFILES=<its file list, .nsh> -DICON=<.ico>
;          -DOUTFILE=<setup.exe> parlink.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
; PARLINK_FILES and PARLINK_FOLDERS: what build-windows laid out, the only files the uninstaller removes.
!include "${FILES}"

!define PRODUCT "Parlink"
!define PUBLISHER "Orvanta"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Parlink"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Parlink's hidden top-level window, which every version of it has: the end of the session sent to it ends Parlink
; the way "Quit" does.
!define PARLINK_WINDOW_CLASS "ParlinkSessionEnd"
; Sent with WM_QUERYENDSESSION and WM_ENDSESSION: the program is closed for an update, as Windows' Restart Manager
; does it.
!define ENDSESSION_CLOSEAPP 1
; Longer, and the deepest file (styles\qwindowsvistastyle.dll, uninstall.exe) would pass Windows' 260 characters.
!define MAX_FOLDER_LENGTH 200
; How long a running Parlink gets to quit, in steps of 250 ms.
!define CLOSE_WAIT_STEPS 40
!define CLOSE_ASK_AGAIN_STEPS 8
!define START_WAIT_STEPS 40
; The new files are written beside the ones they replace under these names, and swapped in by renaming when all are
; there: a failure leaves the installed version whole.
!define NEW_SUFFIX ".parlink-new"
!define OLD_SUFFIX ".parlink-old"
; For telling whether the installer runs as the user of the desktop it is shown on.
!define NAME_SAM_COMPATIBLE 2
!define WTS_CURRENT_SESSION -1
!define WTS_USER_NAME 5
!define WTS_DOMAIN_NAME 7

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
; A file that cannot be written fails the installation: never success over old or missing files.
AllowSkipFiles off
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Parlink developers, MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Qt, hidapi and the MinGW-w64 runtime that come with Parlink are under their own \
    licences, listed in THIRD-PARTY-NOTICES.txt in Parlink's folder."
!insertmacro MUI_PAGE_LICENSE "${APP_DIR}\LICENSE.txt"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; 1 once this run has closed a running Parlink, which the installer then starts again.
Var ParlinkClosed
; Where an earlier installation is, empty for a first one.
Var PreviousFolder
; The earlier installation's folder when an upgrade goes to another one, else empty.
Var MovedFrom
; The folder the macros below remove from: the installation's, or the one an upgrade moved away from.
Var RemoveFrom
; The folder whose files CheckInUse looks at.
Var CheckIn
; 1 when the installer runs as the desktop's user, whose HKCU is then its own.
Var DesktopUser

!macro StageFile folder name
    SetOutPath "$INSTDIR${folder}"
    File "/oname=${name}${NEW_SUFFIX}" "${APP_DIR}${folder}\${name}"
!macroend

; $R0 becomes 1 at the first file that cannot be swapped in; $R8 counts those that were.
!macro SwapInFile folder name
    ${If} $R0 = 0
        Delete "$INSTDIR${folder}\${name}${OLD_SUFFIX}"
        ClearErrors
        ${If} ${FileExists} "$INSTDIR${folder}\${name}"
            Rename "$INSTDIR${folder}\${name}" "$INSTDIR${folder}\${name}${OLD_SUFFIX}"
        ${EndIf}
        ${If} ${Errors}
            StrCpy $R0 1
        ${Else}
            Rename "$INSTDIR${folder}\${name}${NEW_SUFFIX}" "$INSTDIR${folder}\${name}"
            ${If} ${Errors}
                StrCpy $R0 1
            ${Else}
                IntOp $R8 $R8 + 1
            ${EndIf}
        ${EndIf}
    ${EndIf}
!macroend

; Undoes SwapInFile for the first $R8 files and the one that failed after them, counting in $R9.
!macro SwapBackFile folder name
    ${If} $R9 < $R8
        Delete "$INSTDIR${folder}\${name}"
    ${EndIf}
    IntOp $R9 $R9 + 1
    ${IfNot} ${FileExists} "$INSTDIR${folder}\${name}"
        Rename "$INSTDIR${folder}\${name}${OLD_SUFFIX}" "$INSTDIR${folder}\${name}"
    ${EndIf}
    Delete "$INSTDIR${folder}\${name}${NEW_SUFFIX}"
!macroend

; A file in use, by a Parlink started just before the swap, goes when Windows starts next.
!macro DropOldFile folder name
    Delete /REBOOTOK "$INSTDIR${folder}\${name}${OLD_SUFFIX}"
!macroend

!macro DropNewFile folder name
    Delete "$INSTDIR${folder}\${name}${NEW_SUFFIX}"
!macroend

!macro RemoveFile folder name
    Delete "$RemoveFrom${folder}\${name}"
!macroend

!macro RemoveFolderIfEmpty folder
    RMDir "$RemoveFrom${folder}"
!macroend

; Exactly the files the installer writes, then each of its folders if nothing else is left in it.
!macro RemoveInstallation un
    Function ${un}RemoveInstallation
        !insertmacro PARLINK_FILES RemoveFile
        Delete "$RemoveFrom\uninstall.exe"
        !insertmacro PARLINK_FOLDERS RemoveFolderIfEmpty
        RMDir "$RemoveFrom"
    FunctionEnd
!macroend
!insertmacro RemoveInstallation ""
!insertmacro RemoveInstallation "un."

; Sets $R0 to 1 when the file is there and cannot be written: a program that runs from it holds it.
!macro CheckInUse folder name
    ${If} ${FileExists} "$CheckIn${folder}\${name}"
        ClearErrors
        FileOpen $R1 "$CheckIn${folder}\${name}" a
        ${If} ${Errors}
            StrCpy $R0 1
        ${Else}
            FileClose $R1
        ${EndIf}
    ${EndIf}
!macroend

; Asks a running Parlink to quit and waits, a few seconds at most, until it has gone and none of its files is in
; use, in the installation's folder and in the one an upgrade moves away from (a Parlink in another user's session,
; or a hook's, holds them too); stops the installation when that does not happen.
!macro CloseParlinkFunction un action
    Function ${un}CloseParlink
        retry:
        StrCpy $R2 0
        StrCpy $R4 0
        ${Do}
            FindWindow $R3 "${PARLINK_WINDOW_CLASS}"
            ${If} $R3 <> 0
                StrCpy $ParlinkClosed 1
                ; Asked again now and then: a Parlink busy when first asked may not have heard it.
                IntOp $R5 $R2 % ${CLOSE_ASK_AGAIN_STEPS}
                ${If} $R3 <> $R4
                ${OrIf} $R5 = 0
                    SendMessage $R3 ${WM_QUERYENDSESSION} 0 ${ENDSESSION_CLOSEAPP} /TIMEOUT=500
                    SendMessage $R3 ${WM_ENDSESSION} 1 ${ENDSESSION_CLOSEAPP} /TIMEOUT=500
                    StrCpy $R4 $R3
                ${EndIf}
            ${EndIf}
            StrCpy $R0 0
            StrCpy $CheckIn $INSTDIR
            !insertmacro PARLINK_FILES CheckInUse
            ${If} $MovedFrom != ""
                StrCpy $CheckIn $MovedFrom
                !insertmacro PARLINK_FILES CheckInUse
            ${EndIf}
            ${If} $R3 = 0
            ${AndIf} $R0 = 0
                Return
            ${EndIf}
            ${If} $R2 >= ${CLOSE_WAIT_STEPS}
                ${ExitDo}
            ${EndIf}
            IntOp $R2 $R2 + 1
            Sleep 250
        ${Loop}
        ; Still there: its files stay as they are.
        ${If} $R3 <> 0
            StrCpy $ParlinkClosed 0
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Parlink's files are in use, so they cannot be ${action}.$\r$\n$\r$\n\
            Quit Parlink (also where another user on this computer runs it) or the program that uses them, then \
            choose Retry." /SD IDCANCEL IDRETRY retry
        Abort "Parlink is still running."
    FunctionEnd
!macroend
!insertmacro CloseParlinkFunction "" "replaced"
!insertmacro CloseParlinkFunction "un." "removed"

Section "Parlink" SectionProgram
    SectionIn RO
    StrLen $R6 $INSTDIR
    ${If} $R6 > ${MAX_FOLDER_LENGTH}
        MessageBox MB_OK|MB_ICONSTOP "The folder $INSTDIR is too long a path for Windows to start Parlink from: \
            choose a shorter one." /SD IDOK
        Abort "The folder's path is too long."
    ${EndIf}
    Call FindMovedFrom
    Call CloseParlink
    !insertmacro PARLINK_FILES StageFile
    ; Writing takes a while: a Parlink started meanwhile, by the user or a hook, is closed now, just before the swap.
    Call CloseParlink
    StrCpy $R0 0
    StrCpy $R8 0
    !insertmacro PARLINK_FILES SwapInFile
    ${If} $R0 <> 0
        StrCpy $R9 0
        !insertmacro PARLINK_FILES SwapBackFile
        MessageBox MB_OK|MB_ICONSTOP "Parlink's files could not be replaced; the version installed before is left as \
            it was." /SD IDOK
        Abort "Parlink's files could not be replaced."
    ${EndIf}
    !insertmacro PARLINK_FILES DropOldFile
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\parlink.exe" "" "$INSTDIR\parlink.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\parlink.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    SectionGetSize ${SectionProgram} $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; The autostart is the next section's alone: unticked, none stays. Older versions wrote it for the installing
    ; user only: an administrator's account given for the installation has its own HKCU, whose value stays.
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ${If} $DesktopUser = 1
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
SectionEnd

; For all users, as the installation is.
Section "Start Parlink with Windows" SectionAutostart
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\parlink.exe"'
SectionEnd

; Only the files the installer wrote, then each folder if nothing else is left in it: the folder may be shared with
; other programs. The user's settings under HKCU\Software\Orvanta\Parlink stay.
Section "Uninstall"
    Call un.CloseParlink
    StrCpy $RemoveFrom $INSTDIR
    Call un.RemoveInstallation
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ${If} $DesktopUser = 1
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Sets $DesktopUser to 1 when the installer's user (DOMAIN\name) is the one logged on to the desktop it is shown on;
; to 0 when it runs under an administrator's account given for it, or when Windows does not say.
!macro FindDesktopUserFunction un
    Function ${un}FindDesktopUser
        StrCpy $DesktopUser 0
        System::Call 'secur32::GetUserNameExW(i ${NAME_SAM_COMPATIBLE}, w .R0, *i ${NSIS_MAX_STRLEN}) i .R1'
        ${If} $R1 = 0
            Return
        ${EndIf}
        System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i ${WTS_CURRENT_SESSION}, i ${WTS_DOMAIN_NAME}, \
            *p .R2, *i) i .R1'
        ${If} $R1 = 0
            Return
        ${EndIf}
        System::Call 'kernel32::lstrcpynW(w .R3, p R2, i ${NSIS_MAX_STRLEN})'
        System::Call 'wtsapi32::WTSFreeMemory(p R2)'
        System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i ${WTS_CURRENT_SESSION}, i ${WTS_USER_NAME}, \
            *p .R2, *i) i .R1'
        ${If} $R1 = 0
            Return
        ${EndIf}
        System::Call 'kernel32::lstrcpynW(w .R4, p R2, i ${NSIS_MAX_STRLEN})'
        System::Call 'wtsapi32::WTSFreeMemory(p R2)'
        ${If} $R4 != ""
        ${AndIf} $R0 == "$R3\$R4"
            StrCpy $DesktopUser 1
        ${EndIf}
    FunctionEnd
!macroend
!insertmacro FindDesktopUserFunction ""
!insertmacro FindDesktopUserFunction "un."

Function .onInit
    SetShellVarContext all
    StrCpy $ParlinkClosed 0
    Call FindDesktopUser
    ; An upgrade keeps the autostart as it was (older versions kept it in the user's Run key).
    ReadRegStr $PreviousFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $3 HKLM "${RUN_KEY}" "${PRODUCT}"
    StrCpy $4 ""
    ${If} $DesktopUser = 1
        ReadRegStr $4 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    ${If} $PreviousFolder != ""
    ${AndIf} $3 == ""
    ${AndIf} $4 == ""
        !insertmacro UnselectSection ${SectionAutostart}
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SectionAutostart}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/NOAUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SectionAutostart}
    ${EndIf}
FunctionEnd

Function un.onInit
    SetShellVarContext all
    StrCpy $ParlinkClosed 0
    Call un.FindDesktopUser
FunctionEnd

; The Parlink this run closed runs again from the folder in $R7, also when the installation failed (from where it
; was, its old files still there).
; Started through Explorer by the desktop's user, it runs without the installer's administrator rights. Started
; directly, or by another account given for the installation, it would run as the wrong user: when none has shown up
; after a few seconds, the user is told to start it.
!macro StartParlinkAgainFunction un
    Function ${un}StartParlinkAgain
        ${If} $ParlinkClosed <> 1
            Return
        ${EndIf}
        ${If} $DesktopUser = 1
            SetOutPath "$R7"
            Exec '"$WINDIR\explorer.exe" "$R7\parlink.exe"'
            ${For} $R2 1 ${START_WAIT_STEPS}
                Sleep 250
                FindWindow $R3 "${PARLINK_WINDOW_CLASS}"
                ${If} $R3 <> 0
                    Return
                ${EndIf}
            ${Next}
        ${EndIf}
        MessageBox MB_OK|MB_ICONINFORMATION "Parlink was closed and has not started again: start it from the Start \
            menu." /SD IDOK
    FunctionEnd
!macroend
!insertmacro StartParlinkAgainFunction ""
!insertmacro StartParlinkAgainFunction "un."

; Moved to another folder, the installation leaves nothing of itself in the previous one, which is no longer listed;
; only a folder that holds a Parlink is cleaned. The same folder may be written otherwise (a short name, "..", a
; link): a file just made in the previous one then shows in the new one too.
Function FindMovedFrom
    StrCpy $MovedFrom ""
    ${If} $PreviousFolder != ""
    ${AndIf} $PreviousFolder != $INSTDIR
    ${AndIf} ${FileExists} "$PreviousFolder\parlink.exe"
    ${AndIf} ${FileExists} "$PreviousFolder\uninstall.exe"
        GetTempFileName $R0 "$PreviousFolder"
        ${GetFileName} $R0 $R1
        ${IfNot} ${FileExists} "$INSTDIR\$R1"
            StrCpy $MovedFrom $PreviousFolder
        ${EndIf}
        ${If} $R0 != ""
            Delete $R0
        ${EndIf}
    ${EndIf}
FunctionEnd

Function .onInstSuccess
    ${If} $MovedFrom != ""
        StrCpy $RemoveFrom $MovedFrom
        Call RemoveInstallation
    ${EndIf}
    StrCpy $R7 $INSTDIR
    Call StartParlinkAgain
FunctionEnd

Function .onInstFailed
    !insertmacro PARLINK_FILES DropNewFile
    StrCpy $R7 $PreviousFolder
    ${If} $R7 == ""
        StrCpy $R7 $INSTDIR
    ${EndIf}
    Call StartParlinkAgain
FunctionEnd

; An uninstallation that failed leaves Parlink's files: the Parlink it closed runs again.
Function un.onUninstFailed
    StrCpy $R7 $INSTDIR
    Call un.StartParlinkAgain
FunctionEnd
