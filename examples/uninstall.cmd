@echo off
rem kavo: サービスを停止して削除します。
rem kavo: stops a service and removes it.
rem
rem   uninstall.cmd サービス名
rem   uninstall.cmd NAME
rem
rem 管理者として実行してください。削除するのは kavo のサービス（登録されたパスが
rem kavo.exe か kavo64.exe）だけです。ほかのサービスは、動かしているファイルを
rem 表示して断ります。kavo のイベント ソースも削除します。kavo.exe と kavo.ini は
rem フォルダーに残ります。
rem Run it as an administrator. Only a kavo service (one whose registered path
rem is a kavo.exe or a kavo64.exe) is removed; any other is refused, naming the
rem file it runs. kavo's event sources of the service go too. kavo.exe and
rem kavo.ini stay in their folder.
rem
rem 終了コード / exit code: 0 削除した / removed, 1 失敗 / failed

setlocal EnableExtensions DisableDelayedExpansion
rem The system's own tools, by their full path: cmd would run a program of the
rem same name from the current folder first.
set "system=%SystemRoot%\System32"
set "result=1"
set "work="
set "console="
set "ansi="

rem A value is expanded with % only where it holds no quotation mark: no
rem character of it then stands outside quotes, where cmd would take & | < >
rem as commands. It is handed to a command with delayed expansion (!name!).

for /l %%i in (1,1,20) do if not defined work call :MakeWorkFolder
if not defined work goto NoWorkFolder

rem The console's code page made the ANSI one, as install.cmd does, so that a
rem name reads the same in both. Both are read from files: a for /f over a
rem command starts another cmd, which is slow.
"%system%\chcp.com" > "%work%\chcp.txt"
for /f "usebackq tokens=2 delims=:." %%c in ("%work%\chcp.txt") do set /a "console=%%c" > nul 2>&1
"%system%\reg.exe" query "HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage" /v ACP > "%work%\acp.txt" 2> nul
for /f "usebackq tokens=3" %%c in ("%work%\acp.txt") do set "ansi=%%c"
if defined ansi "%system%\chcp.com" %ansi% > nul 2>&1

rem -- Argument 1, as :Encode leaves it, into arg1. --
rem Windows' cmd keeps every quotation mark inside an argument: expanded on
rem a command line, a " inside ends the quotes and what follows would run.
rem The only line on which cmd runs nothing is a remark: with echo on, cmd
rem writes it out with the argument in it, and the written line is read
rem back as data. The loop's variable stands for itself, so that an argument
rem holding its name comes through unchanged.
set "arg1="
set "captured="
setlocal
set "prompt=@"
(
    echo on
    for %%# in (%%#) do rem #1"%~1"#
    @echo off
) > "%work%\arguments.txt"
endlocal
for /f "usebackq delims=" %%l in ("%work%\arguments.txt") do (
    set "line=%%l"
    call :TakeArgumentLine
)
if "%captured%"=="1" goto ArgumentsRead
if defined captured goto Unreadable
rem A cmd that writes nothing there (Wine's): where it also drops every
rem quotation mark inside an argument, the argument can be read straight.
call :DropsInnerQuotes "a""b"
if not defined dropping goto Unreadable
set "e=%~1"
call :Encode
set "arg1=%e%"
rem -- End of the arguments. --
:ArgumentsRead

if not defined arg1 goto Usage
if not "%arg1:|q=%"=="%arg1%" goto BadName
set "e=%arg1%"
call :Decode
set "name=%e%"
if not "%name:\=%"=="%name%" goto BadName
if not "%name:/=%"=="%name%" goto BadName

setlocal EnableDelayedExpansion
"%system%\sc.exe" query "!name!" > nul 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" goto NotInstalled

rem The registered path, as the registry holds it (sc qc is missing on some
rem systems, Wine's among them; reg query works everywhere).
set "image="
setlocal EnableDelayedExpansion
"%system%\reg.exe" query "HKLM\SYSTEM\CurrentControlSet\Services\!name!" /v ImagePath > "!work!\image.txt" 2> nul
endlocal
for /f "usebackq tokens=1,2,*" %%a in ("%work%\image.txt") do if /i "%%a"=="ImagePath" set "image=%%c"
if not defined image goto NotKavo
rem kavo's path is registered in quotes when it holds a space; nothing follows it.
set "file=%image:"=%"
if /i "%file%"=="kavo.exe" goto Kavo
if /i "%file%"=="kavo64.exe" goto Kavo
if /i "%file:~-9%"=="\kavo.exe" goto Kavo
if /i "%file:~-11%"=="\kavo64.exe" goto Kavo
goto NotKavo
:Kavo

rem A service that is not running answers the stop with an error: nothing to report.
setlocal EnableDelayedExpansion
"%system%\sc.exe" stop "!name!" > nul 2>&1
"%system%\sc.exe" delete "!name!" > "!work!\sc.txt" 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" goto DeleteFailed
rem The registration goes once the service has stopped: wait for it a minute at
rem most, a second at a time (ping is the one wait every cmd has).
set "polls=0"
:WaitForRemoval
setlocal EnableDelayedExpansion
"%system%\sc.exe" query "!name!" > nul 2>&1
endlocal & set "queried=%errorlevel%"
if not "%queried%"=="0" goto Removed
set /a "polls+=1"
if %polls% geq 60 goto NotStopped
"%system%\ping.exe" -n 2 127.0.0.1 > nul
goto WaitForRemoval

:Removed
call :RemoveSources
setlocal EnableDelayedExpansion
echo サービス !name! を削除しました / service !name! removed
endlocal
set "result=0"
goto Finish

:Finish
if defined work rd /s /q "%work%" > nul 2>&1
if defined console if not "%console%"=="0" "%system%\chcp.com" %console% > nul 2>&1
exit /b %result%

rem ---- Messages that end the run ----

:Usage
echo 使い方 / usage: uninstall.cmd NAME
goto Finish

:NoWorkFolder
echo 作業用のフォルダーを作れません / cannot make a working folder in TEMP
goto Finish

:Unreadable
echo 引数を安全に読めません / the argument cannot be read safely
goto Finish

:BadName
echo サービス名に \ / " は使えません / a service name cannot hold \ / or a quotation mark
goto Finish

:NotInstalled
setlocal EnableDelayedExpansion
echo サービス !name! は登録されていません / service !name! is not installed
endlocal
goto Finish

:NotKavo
setlocal EnableDelayedExpansion
echo サービス !name! は kavo ではありません（!image!）。削除しません
echo service !name! is not kavo's: it runs !image!; not removed
endlocal
goto Finish

:DeleteFailed
echo 失敗した手順 / failed step: sc delete
type "%work%\sc.txt"
goto Finish

:NotStopped
rem Its sources go now: once deleted, the service never makes them again.
call :RemoveSources
setlocal EnableDelayedExpansion
echo サービス !name! は停止していません。プログラムが終わると削除されます
echo service !name! has not stopped; it is removed when its program has ended
endlocal
goto Finish

rem ---- Subroutines ----

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

:MakeWorkFolder
set "try=%TEMP%\kavo-uninstall-%RANDOM%%RANDOM%"
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
