@echo off
rem Runs the station for a bench account as a kiosk: with --kiosk the station itself waits for the
rem database and the print-log folder. This starts it again when it ends by a fault all the same
rem (a crash, a kill, status 3 when the folder went in the meantime). Status 0 means someone chose
rem Exit: it stays ended. QUILLON_KIOSK_DELAY (seconds, default 10) is the wait before a restart.
setlocal
rem Installed with KIOSK=1 or not: the installer's choice, under HKLM\Software\Quillon.
rem The value is read as the third word of reg's line, whatever the spacing between words.
set kiosk=
for /f "tokens=3" %%v in ('reg query "HKLM\Software\Quillon" /v Kiosk 2^>nul') do set kiosk=%%v
if not "%kiosk%"=="1" exit /b 0
if "%QUILLON_KIOSK_DELAY%"=="" set QUILLON_KIOSK_DELAY=10
:again
"%~dp0quillon.exe" --kiosk
if %ERRORLEVEL% EQU 0 exit /b 0
ping -n %QUILLON_KIOSK_DELAY% 127.0.0.1 >nul
goto again
