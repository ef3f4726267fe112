@echo off
rem kavo: サービスを停止して削除します。
rem kavo: stops a service and removes it.
rem
rem   uninstall.cmd サービス名
rem   uninstall.cmd NAME
rem
rem 管理者として実行してください。kavo.exe と kavo.ini はフォルダーに残ります。
rem Run it as an administrator. kavo.exe and kavo.ini stay in their folder.
rem
rem 終了コード / exit code: 0 削除した / removed, 1 失敗 / failed

setlocal DisableDelayedExpansion
set "name=%~1"
setlocal EnableDelayedExpansion
if "!name!"=="" (
    echo 使い方 / usage: uninstall.cmd NAME
    exit /b 1
)
sc query "!name!" > nul 2>&1
if errorlevel 1 (
    echo サービス !name! は登録されていません / service !name! is not installed
    exit /b 1
)
rem A service that is not running answers the stop with an error: nothing to report.
sc stop "!name!" > nul 2>&1
sc delete "!name!"
if errorlevel 1 (
    echo 失敗しました / failed
    exit /b 1
)
rem The registration goes once the service has stopped: wait for it a minute at
rem most, a second at a time (ping is the one wait every cmd has).
for /l %%i in (1,1,60) do (
    sc query "!name!" > nul 2>&1
    if errorlevel 1 goto removed
    ping -n 2 127.0.0.1 > nul
)
echo サービス !name! は停止していません。プログラムが終わると削除されます
echo service !name! has not stopped; it is removed when its program has ended
exit /b 1

:removed
echo サービス !name! を削除しました / service !name! removed
exit /b 0
