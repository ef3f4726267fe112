@echo off
rem kavo: サービスをダイアログなしで登録し、起動します。
rem kavo: installs a service without the dialog, and starts it.
rem
rem   install.cmd サービス名 プログラム [オプション [終了方法 [フォルダー]]]
rem   install.cmd NAME PROGRAM [OPTIONS [EXIT-METHOD [FOLDER]]]
rem
rem   オプション    プログラムに渡す起動時オプション。" は "" と書きます。
rem   OPTIONS       the program's start-up options; write each " as "".
rem   終了方法      0 = WM_CLOSE（既定）、1 = WM_SYSCOMMAND/SC_CLOSE
rem   EXIT-METHOD   0 = WM_CLOSE (the default), 1 = WM_SYSCOMMAND/SC_CLOSE
rem   フォルダー    kavo.exe と kavo.ini を置くフォルダー（既定: Program Files\kavo\サービス名）
rem   FOLDER        where kavo.exe and kavo.ini go (default: Program Files\kavo\NAME)
rem
rem 管理者として実行してください。kavo.exe はこのスクリプトと同じフォルダーから
rem コピーします。このファイルはコード ページ 932 です（メモ帳では ANSI で保存）。
rem Run it as an administrator. kavo.exe is copied from this script's folder.
rem This file is in code page 932 (save it as ANSI in Notepad).
rem
rem 終了コード / exit code:
rem   0  登録して起動した / installed and started
rem   1  失敗（表示を参照）/ failed (see the message)
rem   2  起動したが、障害時の再起動を設定できなかった
rem      started, but the restart on failure could not be set

setlocal DisableDelayedExpansion
rem kavo64.exe for a program under System32, or Windows without 32-bit support.
set "kavo=kavo.exe"
set "source=%~dp0"
set "name=%~1"
rem Relative paths are taken from the current folder, as on any command line.
set "program=%~2"
if defined program set "program=%~f2"
set "options=%~3"
set "end=%~4"
if not defined end set "end=0"
set "folder=%~5"
if defined folder set "folder=%~f5"
if not defined folder set "folder=%ProgramFiles%\kavo\%name%"
if "%folder:~-1%"=="\" set "folder=%folder:~0,-1%"

rem The profile functions drop white space at both ends of a value and a pair
rem of quotes around it: such a value is saved in one more pair of quotes, as
rem kavo's dialog saves it.
set "quote=""
set "first="
set "last="
set "rest="
if defined options set "options=%options:""="%"
if defined options set "first=%options:~0,1%"
if defined options set "last=%options:~-1%"
if defined options set "rest=%options:~1%"
setlocal EnableDelayedExpansion
set "wrap="
if "!first!"==" " set "wrap=1"
if "!last!"==" " set "wrap=1"
if defined rest if "!first!"=="!last!" if "!first!"=="!quote!" set "wrap=1"
if defined rest if "!first!"=="!last!" if "!first!"=="'" set "wrap=1"
if defined wrap set "options="!options!""

if "!name!"=="" goto usage
if "!program!"=="" goto usage
if not "!end!"=="0" if not "!end!"=="1" goto usage
if not exist "!program!" (
    echo プログラムがありません / no such program: !program!
    exit /b 1
)
sc query "!name!" > nul 2>&1
if not errorlevel 1 (
    echo サービス !name! はもう登録されています / service !name! is registered already
    exit /b 1
)
rem One kavo.ini serves one service: another service's settings are never overwritten.
if exist "!folder!\kavo.ini" (
    echo kavo.ini がもうあります / kavo.ini exists already: !folder!\kavo.ini
    exit /b 1
)
if not exist "!folder!\" mkdir "!folder!"
copy /y "!source!!kavo!" "!folder!\!kavo!" > nul
if errorlevel 1 goto failed

rem kavo reads kavo.ini in the ANSI code page (932 on Japanese Windows); cmd
rem writes files in the console's code page: the same one while it is written.
set "console="
set "ansi="
for /f "tokens=2 delims=:." %%c in ('chcp') do set /a "console=%%c" > nul 2>&1
for /f "tokens=3" %%c in ('reg query "HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage" /v ACP 2^>nul') do set "ansi=%%c"
if defined ansi chcp !ansi! > nul 2>&1
> "!folder!\kavo.ini" echo [kavo]
>> "!folder!\kavo.ini" echo exe=!program!
>> "!folder!\kavo.ini" echo option=!options!
>> "!folder!\kavo.ini" echo name=!name!
>> "!folder!\kavo.ini" echo end=!end!
if defined console if not "!console!"=="0" chcp !console! > nul 2>&1
if not exist "!folder!\kavo.ini" goto failed

rem Started at boot; the quotes keep a path with spaces from starting another program.
sc create "!name!" binPath= "\"!folder!\!kavo!\"" start= auto
if errorlevel 1 goto failed

rem Restart on failure: after 5 s, 10 s, then every minute; the count of
rem failures starts again after a day without one. The failure flag makes a
rem stop with an error code a failure too (a program that ended with a
rem non-zero code, or did not start), not only a crash of kavo.
set "refused="
sc failure "!name!" reset= 86400 actions= restart/5000/restart/10000/restart/60000
if errorlevel 1 (
    echo 警告: sc failure が拒否されました / warning: sc failure was refused
    set "refused=1"
)
sc failureflag "!name!" 1
if errorlevel 1 (
    echo 警告: sc failureflag が拒否されました / warning: sc failureflag was refused
    set "refused=1"
)

sc start "!name!"
if errorlevel 1 (
    echo サービス !name! は登録しましたが、起動できませんでした / service !name! was installed but did not start
    exit /b 1
)
if defined refused (
    echo サービス !name! を起動しましたが、障害時に再起動されません / service !name! started, but it is not restarted on failure
    exit /b 2
)
echo サービス !name! を登録して起動しました / service !name! installed and started
exit /b 0

:usage
echo 使い方 / usage: install.cmd NAME PROGRAM [OPTIONS [EXIT-METHOD [FOLDER]]]
exit /b 1

:failed
echo 失敗しました / failed
exit /b 1
