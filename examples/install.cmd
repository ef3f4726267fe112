@echo off
rem kavo: サービスをダイアログなしで登録し、起動します。
rem kavo: installs a service without the dialog, and starts it.
rem
rem   install.cmd サービス名 プログラム [オプション [終了方法 [フォルダー [停止の猶予]]]]
rem   install.cmd NAME PROGRAM [OPTIONS [EXIT-METHOD [FOLDER [STOP-TIMEOUT]]]]
rem
rem   オプション    プログラムに渡す起動時オプション。" は "" と書きます。
rem   OPTIONS       the program's start-up options; write each " as "".
rem   終了方法      0 = WM_CLOSE（既定）、1 = WM_SYSCOMMAND/SC_CLOSE
rem   EXIT-METHOD   0 = WM_CLOSE (the default), 1 = WM_SYSCOMMAND/SC_CLOSE
rem   フォルダー    kavo.exe と kavo.ini を置くフォルダー（既定: Program Files\kavo\サービス名。"" も既定）
rem   FOLDER        where kavo.exe and kavo.ini go (default: Program Files\kavo\NAME; "" too)
rem   停止の猶予    停止の要求からプログラムを強制終了するまでの秒数、1 から 110。
rem                 省略すると kavo.ini に書かず、kavo の既定（20 秒）になります。
rem   STOP-TIMEOUT  seconds from the stop request until the program is ended by
rem                 force, 1 to 110; left out, it is not written and kavo's
rem                 default (20 s) applies.
rem
rem 管理者として実行してください。kavo.exe はこのスクリプトと同じフォルダーから
rem コピーします。このファイルはコード ページ 932 です（メモ帳では ANSI で保存）。
rem 何かを書く前にすべてを確かめます：サービス名（空でない、\ / " を含まない、
rem 256 文字以内、ほかのサービスの名前や表示名でない）、プログラム（フォルダー
rem でないファイル）、各値が ANSI コード ページで書けて 259 バイト以内、終了方法、
rem 停止の猶予、フォルダー（Windows フォルダー、システム フォルダー、ドライブの
rem ルートは不可、kavo.ini がまだないこと）。フォルダー（とその上にこのスクリプト
rem が作ったフォルダー）は、何かを入れる前に管理者だけが変更できるようにします。
rem できないフォルダーは断ります。途中の手順が失敗したときは、作ったものを消して、
rem 失敗した手順を表示します。アプリケーション ログのイベント ソース（サービス名）も
rem 登録します。
rem Run it as an administrator. kavo.exe is copied from this script's folder.
rem This file is in code page 932 (save it as ANSI in Notepad).
rem Everything is checked before anything is written: the name (not empty, no
rem \ / or ", at most 256 characters, no other service's name or display name),
rem the program (a file, not a folder), every value (written in the ANSI code
rem page, at most 259 bytes), the exit method, the stop timeout, the folder (not
rem the Windows or the system folder or a drive's root, no kavo.ini in it yet).
rem The folder (and each folder the script makes above it) is made
rem administrators-only before anything goes in, or refused when it cannot be.
rem When a later step fails, what the script made is removed and the step is named.
rem It also registers the service's event source (its name) in the Application log.
rem
rem 終了コード / exit code:
rem   0  登録して起動した（サービスは実行中）/ installed and running
rem   1  失敗（表示を参照。残したものがあれば表示します）
rem      failed (see the message; anything left behind is named)
rem   2  実行中だが、障害時の再起動を設定できなかった
rem      running, but the restart on failure could not be set

setlocal EnableExtensions DisableDelayedExpansion
rem The system's own tools, by their full path: cmd would run a program of the
rem same name from the current folder first.
set "system=%SystemRoot%\System32"
set "icacls=%system%\icacls.exe"
set "cacls=%system%\cacls.exe"
rem kavo64.exe for a program under System32, or Windows without 32-bit support.
set "kavo=kavo.exe"
set "source=%~dp0"
set "result=1"
set "refused="
set "work="
set "console="
set "ansi="

rem A value is expanded with % only where it holds no quotation mark, or where
rem each of its quotation marks is doubled: no character of it then stands
rem outside quotes, where cmd would take & | < > as commands. A value is handed
rem to a command with delayed expansion (!name!), which comes after that split.

rem A folder of this run's own for the files it works with.
for /l %%i in (1,1,20) do if not defined work call :MakeWorkFolder
if not defined work goto NoWorkFolder

rem kavo reads kavo.ini in the ANSI code page (932 on Japanese Windows). cmd
rem writes files in the console's code page: make it the same while it runs.
rem Both are read from files: a for /f over a command starts another cmd, which
rem is slow.
"%system%\chcp.com" > "%work%\chcp.txt"
for /f "usebackq tokens=2 delims=:." %%c in ("%work%\chcp.txt") do set /a "console=%%c" > nul 2>&1
"%system%\reg.exe" query "HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage" /v ACP > "%work%\acp.txt" 2> nul
for /f "usebackq tokens=3" %%c in ("%work%\acp.txt") do set "ansi=%%c"
if defined ansi "%system%\chcp.com" %ansi% > nul 2>&1

rem -- Arguments 1 to 6, each as :Encode leaves it, into arg1 to arg6. --
rem Windows' cmd keeps every quotation mark inside an argument: expanded on
rem a command line, a " inside ends the quotes and what follows would run.
rem The only line on which cmd runs nothing is a remark: with echo on, cmd
rem writes it out with the argument in it, and the written lines are read
rem back as data. The loop's variable stands for itself, so that an argument
rem holding its name comes through unchanged.
for %%n in (1 2 3 4 5 6) do set "arg%%n="
set "captured="
setlocal
set "prompt=@"
(
    echo on
    for %%# in (%%#) do rem #1"%~1"#
    for %%# in (%%#) do rem #2"%~2"#
    for %%# in (%%#) do rem #3"%~3"#
    for %%# in (%%#) do rem #4"%~4"#
    for %%# in (%%#) do rem #5"%~5"#
    for %%# in (%%#) do rem #6"%~6"#
    @echo off
) > "%work%\arguments.txt"
endlocal
for /f "usebackq delims=" %%l in ("%work%\arguments.txt") do (
    set "line=%%l"
    call :TakeArgumentLine
)
if "%captured%"=="123456" goto ArgumentsRead
if defined captured goto Unreadable
rem A cmd that writes nothing there (Wine's): where it also drops every
rem quotation mark inside an argument, the arguments can be read straight.
call :DropsInnerQuotes "a""b"
if not defined dropping goto Unreadable
set "e=%~1"
call :Encode
set "arg1=%e%"
set "e=%~2"
call :Encode
set "arg2=%e%"
set "e=%~3"
call :Encode
set "arg3=%e%"
set "e=%~4"
call :Encode
set "arg4=%e%"
set "e=%~5"
call :Encode
set "arg5=%e%"
set "e=%~6"
call :Encode
set "arg6=%e%"
rem -- End of the arguments. --
:ArgumentsRead

rem One character each, for the decoding and the rule of :AppendProfileLine.
set "decoded.q=""
set "decoded.x=!"
set "decoded.c=^"
set "decoded.p=|"
set "space= "
set "tab=	"
set "vtab="
set "feed="
set "wide=　"
set "sub="
copy /a nul+nul "%work%\sub.txt" > nul 2>&1
for /f "usebackq delims=" %%s in ("%work%\sub.txt") do set "sub=%%s"

if not defined arg1 goto Usage
if not defined arg2 goto Usage
rem In OPTIONS "" stands for one ".
if defined arg3 set "arg3=%arg3:|q|q=|q%"
set "e=%arg1%"
call :RefuseQuote サービス名 NAME
set "e=%arg2%"
call :RefuseQuote プログラム PROGRAM
set "e=%arg4%"
call :RefuseQuote 終了方法 EXIT-METHOD
set "e=%arg5%"
call :RefuseQuote フォルダー FOLDER
set "e=%arg6%"
call :RefuseQuote 停止の猶予 STOP-TIMEOUT
if defined refused goto Finish

rem Past the check above these values hold no quotation mark: decoded, they
rem are safe to expand with % inside quotes.
set "e=%arg1%"
call :Decode
set "name=%e%"
set "e=%arg2%"
call :Decode
set "program=%e%"
set "e=%arg4%"
call :Decode
set "end=%e%"
set "e=%arg5%"
call :Decode
set "folder=%e%"
set "e=%arg6%"
call :Decode
set "stoptimeout=%e%"
if not defined end set "end=0"

rem The name: the service control manager refuses \ and /; it counts at most
rem 256 characters. (Wine's cmd reads past the end of a value for a substring
rem that starts beyond it: the value is padded with \, which a name lacks.)
if not "%name:\=%"=="%name%" goto BadName
if not "%name:/=%"=="%name%" goto BadName
set "pad=\\\\\\\\\\\\\\\\"
set "pad=%pad%%pad%%pad%%pad%"
set "pad=%pad%%pad%%pad%%pad%\"
set "padded=%name%%pad%"
if not "%padded:~256,1%"=="\" goto LongName

rem The program: a file, with its full path (a relative one is taken from the
rem current folder, as on any command line). Paths go through for /f: Wine's
rem plain for adds a character to an item that ends in a double-byte one.
set "probe=%program%"
call :HasWildcard
if defined wildcard goto NoProgram
for /f "eol=| delims=" %%a in ("%program%") do set "program=%%~fa"
set "attributes="
for /f "eol=| delims=" %%a in ("%program%") do set "attributes=%%~aa"
if not defined attributes goto NoProgram
if /i "%attributes:~0,1%"=="d" goto ProgramIsFolder

if not "%end%"=="0" if not "%end%"=="1" goto BadEnd

if not defined stoptimeout goto StopTimeoutChecked
rem Digits only, no leading 0, within kavo's bound.
set "nondigit="
for /f "delims=0123456789" %%a in ("1%stoptimeout%") do set "nondigit=1"
if defined nondigit goto BadStopTimeout
if "%stoptimeout:~0,1%"=="0" goto BadStopTimeout
set "padded=%stoptimeout%____"
if not "%padded:~4,1%"=="_" goto BadStopTimeout
set /a "seconds=%stoptimeout%"
if %seconds% gtr 110 goto BadStopTimeout
:StopTimeoutChecked

rem The folder, by default named after the service, which must then be a
rem valid folder name.
if defined folder goto FolderGiven
set "probe=%name%"
call :HasFolderNameCharacter
if defined forbidden goto NameNotFolder
set "folder=%ProgramFiles%\kavo\%name%"
:FolderGiven
set "probe=%folder%"
call :HasWildcard
if defined wildcard goto BadFolder
for /f "eol=| delims=" %%a in ("%folder%") do set "folder=%%~fa"
if "%folder:~-1%"=="\" set "folder=%folder:~0,-1%"
rem kavo does not serve from the Windows folder or the system folder.
if /i "%folder%"=="%SystemRoot%" goto SystemFolder
if /i "%folder%"=="%SystemRoot%\System32" goto SystemFolder
rem Made administrators-only, a drive's root would take every folder on it along.
if "%folder:~-1%"==":" goto DriveRoot
rem One kavo.ini serves one service: another service's settings are never overwritten.
if exist "%folder%\kavo.ini" goto IniExists
if not exist "%source%%kavo%" goto NoKavo

rem Every value as kavo.ini will hold it, checked and written to a copy first.
set "e=%program%"
call :Encode
set "arg2=%e%"
set "ini=%work%\kavo.ini"
> "%ini%" echo [kavo]
set "e=%arg2%"
call :CheckValue プログラム PROGRAM exe
set "e=%arg3%"
call :CheckValue オプション OPTIONS option
set "e=%arg1%"
call :CheckValue サービス名 NAME name
set "e=%end%"
call :CheckValue 終了方法 EXIT-METHOD end
if not defined stoptimeout goto ValuesChecked
set "e=%stoptimeout%"
call :CheckValue 停止の猶予 STOP-TIMEOUT stoptimeout
:ValuesChecked
if defined refused goto Finish

setlocal EnableDelayedExpansion
"%system%\sc.exe" query "!name!" > nul 2>&1
endlocal & set "queried=%errorlevel%"
if "%queried%"=="0" goto Registered
rem A name that is another service's display name is refused by sc create.
setlocal EnableDelayedExpansion
"%system%\sc.exe" getkeyname "!name!" > nul 2>&1
endlocal & set "queried=%errorlevel%"
if "%queried%"=="0" goto DisplayName

rem Everything is checked: from here on each step is undone when a later one fails.
set "made.folders="
set "made.exe="
set "made.ini="
set "made.service="
set "changed.permissions="
set "replaced.exe="
set "step=mkdir"
if exist "%folder%\" goto FolderMade
call :FindTopmostMissingFolder
mkdir "%folder%" > nul 2>&1
if not exist "%folder%\" goto StepFailed
set "made.folders=1"
:FolderMade

rem FOLDER, and each folder this run made above it, administrators-only before
rem anything goes in: an existing FOLDER that cannot be made so is refused
rem with nothing written into it. An existing FOLDER keeps its new permissions
rem when a later step fails, and the message says so.
if not defined made.folders set "changed.permissions=1"
> "%work%\yes.txt" echo Y
set "path.part=%folder%"
:SecureNextFolder
call :SecureFolder
if defined insecure goto NotSecured
if not defined made.folders goto Secured
if /i "%path.part%"=="%top%" goto Secured
for /f "eol=| delims=" %%a in ("%path.part%\..") do set "parent=%%~fa"
if "%parent:~-1%"=="\" set "parent=%parent:~0,-1%"
if /i "%parent%"=="%path.part%" goto Secured
set "path.part=%parent%"
goto SecureNextFolder
:Secured

set "step=copy %kavo%"
rem A kavo.exe there already goes: the new file takes the folder's permissions.
if exist "%folder%\%kavo%" set "replaced.exe=1"
if exist "%folder%\%kavo%" del /f /q "%folder%\%kavo%" > nul 2>&1
if exist "%folder%\%kavo%" goto StepFailed
set "made.exe=1"
copy /b /y "%source%%kavo%" "%folder%\%kavo%" > nul 2>&1
if errorlevel 1 goto StepFailed

set "step=kavo.ini"
copy /b /y "%ini%" "%folder%\kavo.ini" > nul 2>&1
if errorlevel 1 goto StepFailed
set "made.ini=1"

rem Started at boot; the quotes keep a path with spaces from starting another program.
set "step=sc create"
setlocal EnableDelayedExpansion
"%system%\sc.exe" create "!name!" binPath= "\"!folder!\!kavo!\"" start= auto > "!work!\step.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" goto StepFailed
set "made.service=1"

rem The event source of the service's entries in the Application log is made
rem by the service itself when it starts below: it first makes sure that no
rem log holds another program's source of that name, which reg cannot tell on
rem every Windows, and writes under "NAME (kavo)" when one does.

rem Restart on failure: after 5 s, 10 s, then every minute; the count of
rem failures starts again after a day without one. The failure flag makes a
rem stop with an error code a failure too (a program that ended with a
rem non-zero code, or did not start), not only a crash of kavo.
set "refusedRecovery="
setlocal EnableDelayedExpansion
"%system%\sc.exe" failure "!name!" reset= 86400 actions= restart/5000/restart/10000/restart/60000 > nul 2>&1
endlocal & set "queried=%errorlevel%"
if "%queried%"=="0" goto FailureSet
echo 警告: sc failure が拒否されました / warning: sc failure was refused
set "refusedRecovery=1"
:FailureSet
setlocal EnableDelayedExpansion
"%system%\sc.exe" failureflag "!name!" 1 > nul 2>&1
endlocal & set "queried=%errorlevel%"
if "%queried%"=="0" goto FailureFlagSet
echo 警告: sc failureflag が拒否されました / warning: sc failureflag was refused
set "refusedRecovery=1"
:FailureFlagSet

set "step=sc start"
setlocal EnableDelayedExpansion
"%system%\sc.exe" start "!name!" > "!work!\step.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" goto StepFailed
rem sc start may return while the service is still starting: wait for it a
rem minute at most, a second at a time (ping is the one wait every cmd has).
set "step=RUNNING"
set "polls=0"
:WaitForRunning
call :QueryService
if "%state%"=="4" goto Running
if "%state%"=="1" goto NotRunning
rem No state at all: sc could not say (Wine's sc prints nothing after a name
rem outside ASCII). Waiting longer would not help.
if not defined state goto NotRunning
set /a "polls+=1"
if %polls% geq 60 goto NotRunning
"%system%\ping.exe" -n 2 127.0.0.1 > nul
goto WaitForRunning

:Running
if defined refusedRecovery goto RunningWithoutRestart
setlocal EnableDelayedExpansion
echo サービス !name! を登録して起動しました / service !name! installed and running
endlocal
set "result=0"
goto Finish
:RunningWithoutRestart
setlocal EnableDelayedExpansion
echo サービス !name! を起動しましたが、障害時に再起動されません / service !name! is running, but it is not restarted on failure
endlocal
set "result=2"
goto Finish

:NotRunning
setlocal EnableDelayedExpansion
echo サービス !name! が実行中になりませんでした / service !name! did not reach RUNNING
echo   STATE !state!, WIN32_EXIT_CODE !win32!, SERVICE_EXIT_CODE !specific!
endlocal
goto Undo

:NotSecured
setlocal EnableDelayedExpansion
echo 管理者だけが変更できるようにできません / cannot make it administrators-only: !path.part!
endlocal
if exist "%work%\step.txt" type "%work%\step.txt"
goto Undo

:StepFailed
echo 失敗した手順 / failed step: %step%
if exist "%work%\step.txt" type "%work%\step.txt"
goto Undo

rem Removes what this run made, and says what could not be removed.
:Undo
if defined made.service call :RemoveService
if defined made.service call :RemoveSources
if defined made.ini del /f /q "%folder%\kavo.ini" > nul 2>&1
if defined made.exe del /f /q "%folder%\%kavo%" > nul 2>&1
if defined made.folders call :RemoveFolders
set "left="
if not defined made.service goto ServiceGone
setlocal EnableDelayedExpansion
"%system%\sc.exe" query "!name!" > nul 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" goto ServiceGone
set "left=1"
setlocal EnableDelayedExpansion
echo 残っています / left behind: サービス / service !name!
endlocal
:ServiceGone
if not defined made.ini goto IniGone
if not exist "%folder%\kavo.ini" goto IniGone
set "left=1"
setlocal EnableDelayedExpansion
echo 残っています / left behind: !folder!\kavo.ini
endlocal
:IniGone
if not defined made.exe goto ExeGone
if not exist "%folder%\%kavo%" goto ExeGone
set "left=1"
setlocal EnableDelayedExpansion
echo 残っています / left behind: !folder!\!kavo!
endlocal
:ExeGone
if not defined changed.permissions goto PermissionsKept
set "left=1"
setlocal EnableDelayedExpansion
echo 元に戻していません / not undone: !folder! のアクセス許可（管理者だけ）/ permissions of !folder! (administrators-only)
endlocal
:PermissionsKept
if not defined replaced.exe goto EarlierExeKept
set "left=1"
setlocal EnableDelayedExpansion
echo 元に戻していません / not undone: 前からあった !folder!\!kavo! の削除 / the earlier !folder!\!kavo! was deleted
endlocal
:EarlierExeKept
if not defined left echo 何も残していません / nothing was left behind
goto Finish

:Finish
if defined work rd /s /q "%work%" > nul 2>&1
if defined console if not "%console%"=="0" "%system%\chcp.com" %console% > nul 2>&1
exit /b %result%

rem ---- Messages that end the run ----

:Usage
echo 使い方 / usage: install.cmd NAME PROGRAM [OPTIONS [EXIT-METHOD [FOLDER [STOP-TIMEOUT]]]]
goto Finish

:NoWorkFolder
echo 作業用のフォルダーを作れません / cannot make a working folder in TEMP
goto Finish

:Unreadable
echo 引数を安全に読めません / the arguments cannot be read safely
goto Finish

:BadName
setlocal EnableDelayedExpansion
echo サービス名に \ や / は使えません / a service name cannot hold \ or /: !name!
endlocal
goto Finish

:LongName
echo サービス名は 256 文字までです / a service name has at most 256 characters
goto Finish

:NoProgram
setlocal EnableDelayedExpansion
echo プログラムがありません / no such program: !program!
endlocal
goto Finish

:ProgramIsFolder
setlocal EnableDelayedExpansion
echo プログラムではなくフォルダーです / a folder, not a program: !program!
endlocal
goto Finish

:BadEnd
setlocal EnableDelayedExpansion
echo 終了方法は 0 か 1 です / the exit method is 0 or 1: !end!
endlocal
goto Finish

:BadStopTimeout
setlocal EnableDelayedExpansion
echo 停止の猶予は 1 から 110 までの秒数です / the stop timeout is 1 to 110 seconds: !stoptimeout!
endlocal
goto Finish

:NameNotFolder
setlocal EnableDelayedExpansion
echo サービス名をフォルダー名にできません。フォルダーを指定してください / the name cannot name a folder; give FOLDER: !name!
endlocal
goto Finish

:BadFolder
setlocal EnableDelayedExpansion
echo フォルダーに * や ? は使えません / a folder cannot hold * or ?: !folder!
endlocal
goto Finish

:DriveRoot
setlocal EnableDelayedExpansion
echo ドライブのルートには置けません / not in a drive's root: !folder!\
endlocal
goto Finish

:SystemFolder
setlocal EnableDelayedExpansion
echo Windows フォルダーとシステム フォルダーには置けません / not in the Windows or the system folder: !folder!
endlocal
goto Finish

:IniExists
setlocal EnableDelayedExpansion
echo kavo.ini がもうあります / kavo.ini exists already: !folder!\kavo.ini
endlocal
goto Finish

:NoKavo
setlocal EnableDelayedExpansion
echo !kavo! がこのスクリプトのフォルダーにありません / !kavo! is not beside this script: !source!
endlocal
goto Finish

:Registered
setlocal EnableDelayedExpansion
echo サービス !name! はもう登録されています / service !name! is registered already
endlocal
goto Finish

:DisplayName
setlocal EnableDelayedExpansion
echo !name! はほかのサービスの表示名です / !name! is another service's display name
endlocal
goto Finish

rem ---- Subroutines ----

:MakeWorkFolder
set "try=%TEMP%\kavo-install-%RANDOM%%RANDOM%"
mkdir "%try%" > nul 2>&1
if not errorlevel 1 set "work=%try%"
exit /b

rem One line of the arguments as cmd wrote it: #N"value"# after "rem ", maybe
rem with a space at the end. Adds N to captured, or makes captured wrong.
:TakeArgumentLine
set "e=%line:"=""%"
call :Encode
rem Up to the first #, which is ours: neither the prompt (@) nor "rem " holds one.
set "e=%e:*#=%"
:TrimArgumentLine
if not defined e goto BadArgumentLine
if not "%e:~-1%"==" " goto ArgumentLineTrimmed
set "e=%e:~0,-1%"
goto TrimArgumentLine
:ArgumentLineTrimmed
set "digit=%e:~0,1%"
if not "%e:~1,2%"=="|q" goto BadArgumentLine
if not "%e:~-3%"=="|q#" goto BadArgumentLine
set "captured=%captured%%digit%"
set "e=%e:~3,-3%"
set "arg%digit%=%e%"
exit /b
:BadArgumentLine
set "captured=wrong"
exit /b

:DropsInnerQuotes
set "dropping="
if "%~1"=="ab" set "dropping=1"
exit /b

rem In e: a value with every quotation mark doubled. Out: the same value with
rem no quotation mark, ! or ^ left, so that it can be expanded anywhere inside
rem quotes; | stands only before a letter that says what stood there: |q a
rem quotation mark, |x !, |c ^, |p |.
:Encode
if not defined e exit /b
set "e=%e:|=|p%"
set "e=%e:!=|x%"
set "e=%e:^=|c%"
set "e=%e:""=|q%"
exit /b

rem In e: a value as :Encode leaves it, with no |q. Out: the value itself.
:Decode
if not defined e exit /b
set "e=%e:|x=!%"
set "e=%e:|c=^%"
set "e=%e:|p=|%"
exit /b

rem %1 and %2: what the argument is called. Refuses a value with a quotation mark in it.
:RefuseQuote
if not defined e exit /b
if "%e:|q=%"=="%e%" exit /b
echo %1 に " は使えません / %2 cannot hold a quotation mark
set "refused=1"
exit /b

:HasWildcard
set "wildcard="
for /f "delims=*?" %%a in (".%probe%.") do if not "%%a"==".%probe%." set "wildcard=1"
exit /b

:HasFolderNameCharacter
set "forbidden="
for /f "delims=*?<>:|" %%a in (".%probe%.") do if not "%%a"==".%probe%." set "forbidden=1"
exit /b

rem %1 and %2: what the value is called; %3: its key. The value (in e, as
rem :Encode leaves it) must come back from the ANSI code page as it went in,
rem within 259 bytes. Appends its line to the copy of kavo.ini.
:CheckValue
set "value=%e%"
set "lineFile=%work%\measure.txt"
if exist "%lineFile%" del /f /q "%lineFile%"
call :AppendProfileLine v plain
rem set /p, since Wine's for /f reads a file's bytes in no code page.
set "back="
set /p "back=" < "%lineFile%"
set "e="
if defined back set "e=%back:"=""%"
call :Encode
if not "%e%"=="v=%value%" goto NotAnsi
set "bytes=0"
for /f "eol=| delims=" %%a in ("%lineFile%") do set /a "bytes=%%~za-4"
if %bytes% gtr 259 goto TooLong
set "e=%value%"
set "lineFile=%ini%"
call :AppendProfileLine %3
exit /b
:NotAnsi
echo %1 は ANSI コード ページで書けません / %2 cannot be written in the ANSI code page
set "refused=1"
exit /b
:TooLong
echo %1 は 259 バイトまでです（%bytes% バイト）/ %2 has at most 259 bytes (%bytes%)
set "refused=1"
exit /b

rem Appends "%1=value" to lineFile, the value (in e) as :Encode leaves it.
rem Written as kavo's dialog writes it (unless %2 is "plain"): the profile
rem functions take white space off both ends of a value and a pair of quotation
rem marks (" or ') that encloses it whole, so such a value goes inside one more
rem pair of double quotes. The value is rebuilt piece by piece, each escape
rem through a variable that holds its character, and handed to echo with
rem delayed expansion.
:AppendProfileLine
set "wrap="
if not "%~2"=="plain" call :NeedsWrap
set "rest=.%e%"
setlocal EnableDelayedExpansion
set "text="
:NextPiece
for /f "tokens=1* delims=|" %%a in ("%rest%") do (
    set "piece=%%a"
    set "rest=%%b"
)
set "text=!text!!decoded.%piece:~0,1%!%piece:~1%"
if defined rest goto NextPiece
if defined wrap set "text=!decoded.q!!text!!decoded.q!"
>> "!lineFile!" echo %~1=!text!
endlocal
exit /b

rem Sets wrap when the value in e (as :Encode leaves it) starts or ends with
rem white space as the profile functions see it, or is wholly in quotes.
:NeedsWrap
if not defined e exit /b
set "first=%e:~0,1%"
if "%first%"=="|" set "first=|%e:~1,1%"
set "last=%e:~-1%"
if "%e:~-2,1%"=="|" set "last=|%last%"
if "%first%"=="%space%" set "wrap=1"
if "%first%"=="%tab%" set "wrap=1"
if "%first%"=="%vtab%" set "wrap=1"
if "%first%"=="%feed%" set "wrap=1"
if "%first%"=="%wide%" set "wrap=1"
if "%last%"=="%space%" set "wrap=1"
if "%last%"=="%tab%" set "wrap=1"
if "%last%"=="%vtab%" set "wrap=1"
if "%last%"=="%feed%" set "wrap=1"
if "%last%"=="%wide%" set "wrap=1"
if not defined sub goto SubChecked
if "%first%"=="%sub%" set "wrap=1"
if "%last%"=="%sub%" set "wrap=1"
:SubChecked
if "%first%"=="|q" if "%last%"=="|q" if not "%e%"=="|q" set "wrap=1"
if "%first%"=="'" if "%last%"=="'" if not "%e%"=="'" set "wrap=1"
exit /b

rem Sets state, win32 and specific from sc query.
:QueryService
set "state="
set "win32="
set "specific="
setlocal EnableDelayedExpansion
"%system%\sc.exe" query "!name!" > "!work!\query.txt" 2>&1
endlocal
for /f "usebackq tokens=1,3" %%a in ("%work%\query.txt") do (
    if "%%a"=="STATE" set "state=%%b"
    if "%%a"=="WIN32_EXIT_CODE" set "win32=%%b"
    if "%%a"=="SERVICE_EXIT_CODE" set "specific=%%b"
)
exit /b

rem Stops and deletes the service, and waits a minute at most until it is gone
rem (until then its kavo.exe runs and cannot be deleted).
:RemoveService
setlocal EnableDelayedExpansion
"%system%\sc.exe" stop "!name!" > nul 2>&1
"%system%\sc.exe" delete "!name!" > nul 2>&1
for /l %%i in (1,1,60) do (
    "%system%\sc.exe" query "!name!" > nul 2>&1
    if errorlevel 1 goto ServiceRemoved
    "%system%\ping.exe" -n 2 127.0.0.1 > nul
)
:ServiceRemoved
endlocal
exit /b

rem Makes path.part administrators-only: its own entries go, none is
rem inherited, Administrators and SYSTEM have full control, Users read and
rem execute, and Administrators own it. Sets insecure when a step fails.
rem icacls came with Windows Vista and Server 2003 SP2. Windows 2000 and XP
rem have cacls, which replaces the whole list at once (asking first: yes.txt
rem answers) but names accounts as English and Japanese Windows do, and cannot
rem give the folder an owner.
:SecureFolder
set "insecure=1"
if not exist "%icacls%" goto SecureWithCacls
setlocal EnableDelayedExpansion
"!icacls!" "!path.part!" /reset > "!work!\step.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" exit /b
setlocal EnableDelayedExpansion
"!icacls!" "!path.part!" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX >> "!work!\step.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" exit /b
setlocal EnableDelayedExpansion
"!icacls!" "!path.part!" /setowner *S-1-5-32-544 >> "!work!\step.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" exit /b
set "insecure="
exit /b
:SecureWithCacls
if not exist "%cacls%" exit /b
setlocal EnableDelayedExpansion
"!cacls!" "!path.part!" /G Administrators:F SYSTEM:F Users:R < "!work!\yes.txt" > "!work!\step.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" exit /b
set "insecure="
exit /b

rem Removes the service's event sources that are kavo's (those with the value
rem kavo); another program's source of that name stays.
:RemoveSources
setlocal EnableDelayedExpansion
set "sources=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application"
"%system%\reg.exe" query "!sources!\!name!" /v kavo > nul 2>&1
if not errorlevel 1 "%system%\reg.exe" delete "!sources!\!name!" /f > nul 2>&1
"%system%\reg.exe" query "!sources!\!name! (kavo)" /v kavo > nul 2>&1
if not errorlevel 1 "%system%\reg.exe" delete "!sources!\!name! (kavo)" /f > nul 2>&1
endlocal
exit /b

rem The topmost folder of the folder's path that does not exist yet: mkdir
rem makes it and those below it.
:FindTopmostMissingFolder
set "top="
set "path.part=%folder%"
:ClimbMissingFolders
if exist "%path.part%\" exit /b
set "top=%path.part%"
for /f "eol=| delims=" %%a in ("%path.part%\..") do set "parent=%%~fa"
if "%parent:~-1%"=="\" set "parent=%parent:~0,-1%"
if /i "%parent%"=="%path.part%" exit /b
set "path.part=%parent%"
goto ClimbMissingFolders

rem Removes the folders mkdir made, deepest first, each only if it is empty.
:RemoveFolders
if not defined top exit /b
set "path.part=%folder%"
:RemoveNextFolder
rd "%path.part%" > nul 2>&1
if /i "%path.part%"=="%top%" exit /b
for /f "eol=| delims=" %%a in ("%path.part%\..") do set "parent=%%~fa"
if "%parent:~-1%"=="\" set "parent=%parent:~0,-1%"
if /i "%parent%"=="%path.part%" exit /b
set "path.part=%parent%"
goto RemoveNextFolder
