@echo off
rem Registers the host with Chromium-family browsers on Windows, or removes it.
rem
rem   install-windows.cmd [/uninstall] [/machine] [/browser chrome^|chromium^|edge^|brave^|all]
rem                       [/path C:\full\path\tavorin_shim.exe] EXTENSION_ID [EXTENSION_ID ...]
rem
rem Writes the host manifest next to the host and points each browser's
rem NativeMessagingHosts key at it (HKCU, or HKLM with /machine).
rem Idempotent: running it twice leaves the same keys and file.
rem
rem Plain cmd on purpose: nothing beyond what every Windows has. Written
rem without delayed expansion or "call ... ||", which some cmd versions lack.
setlocal

set HOST_NAME=com.tavorin.desktop
set HIVE=HKCU
set ACTION=install
set BROWSERS=
set HOST_PATH=%~dp0tavorin_shim.exe
set ORIGINS=
set COUNT=0

:parse
if "%~1"=="" goto parsed
if /i "%~1"=="/uninstall" (
  set ACTION=uninstall
  shift
  goto parse
)
if /i "%~1"=="/machine" (
  set HIVE=HKLM
  shift
  goto parse
)
if /i "%~1"=="/browser" goto take_browser
if /i "%~1"=="/path" goto take_path
set "ID=%~1"
call :check_id
if errorlevel 1 (
  echo install-windows.cmd: not an extension ID ^(32 letters a to p^): %~1 1>&2
  exit /b 2
)
if defined ORIGINS set ORIGINS=%ORIGINS%, "chrome-extension://%ID%/"
if not defined ORIGINS set ORIGINS="chrome-extension://%ID%/"
set /a COUNT+=1
shift
goto parse

:take_browser
if "%~2"=="" goto usage
set BROWSERS=%BROWSERS% %~2
shift
shift
goto parse

:take_path
if "%~2"=="" goto usage
set "HOST_PATH=%~2"
shift
shift
goto parse

:parsed
if "%BROWSERS%"=="" set BROWSERS=all
if /i "%BROWSERS: =%"=="all" set BROWSERS=chrome chromium edge brave

rem Every browser name is checked before anything changes.
for %%B in (%BROWSERS%) do (
  call :key_of %%B
  if errorlevel 1 exit /b 2
)

if "%ACTION%"=="uninstall" goto uninstall

if %COUNT%==0 (
  echo install-windows.cmd: give at least one extension ID 1>&2
  exit /b 2
)
rem A full path only: a drive letter or a network share.
set "P2=%HOST_PATH:~1,2%"
set "P1=%HOST_PATH:~0,2%"
if not "%P2%"==":\" if not "%P1%"=="\\" (
  echo install-windows.cmd: /path must be a full path such as C:\Program Files\Tavorin\tavorin_shim.exe: %HOST_PATH% 1>&2
  exit /b 2
)
if not exist "%HOST_PATH%" (
  echo install-windows.cmd: no host at %HOST_PATH% 1>&2
  exit /b 2
)

for %%F in ("%HOST_PATH%") do set "MANIFEST=%%~dpF%HOST_NAME%.json"
set "JSON_PATH=%HOST_PATH:\=\\%"
rem One line at a time: a redirected block rewrites an existing file only in
rem part under some cmd versions.
> "%MANIFEST%" echo {
>> "%MANIFEST%" echo   "name": "%HOST_NAME%",
>> "%MANIFEST%" echo   "description": "Tavorin Desktop App bridge",
>> "%MANIFEST%" echo   "path": "%JSON_PATH%",
>> "%MANIFEST%" echo   "type": "stdio",
>> "%MANIFEST%" echo   "allowed_origins": [%ORIGINS%]
>> "%MANIFEST%" echo }
echo wrote %MANIFEST%
for %%B in (%BROWSERS%) do (
  call :register %%B
  if errorlevel 1 exit /b 1
)
exit /b 0

:uninstall
for %%B in (%BROWSERS%) do call :unregister %%B
exit /b 0

:register
call :key_of %1
reg add "%KEY%" /ve /t REG_SZ /d "%MANIFEST%" /f >nul
if errorlevel 1 exit /b 1
echo registered %KEY%
exit /b 0

:unregister
call :key_of %1
reg query "%KEY%" >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "%KEY%" /f >nul
if errorlevel 1 exit /b 1
echo removed %KEY%
exit /b 0

:key_of
set KEY=
if /i "%1"=="chrome" set KEY=%HIVE%\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="chromium" set KEY=%HIVE%\Software\Chromium\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="edge" set KEY=%HIVE%\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="brave" set KEY=%HIVE%\Software\BraveSoftware\Brave-Browser\NativeMessagingHosts\%HOST_NAME%
if defined KEY exit /b 0
echo install-windows.cmd: unknown browser: %1 ^(chrome, chromium, edge, brave or all^) 1>&2
exit /b 1

:check_id
rem An extension ID is exactly 32 letters from a to p, in lower case.
set "REST=%ID%"
set LETTERS=0
:check_letter
if "%REST%"=="" goto check_length
set "LETTER=%REST:~0,1%"
set "REST=%REST:~1%"
set FOUND=
for %%L in (a b c d e f g h i j k l m n o p) do if "%LETTER%"=="%%L" set FOUND=1
if not defined FOUND exit /b 1
set /a LETTERS+=1
goto check_letter
:check_length
if not "%LETTERS%"=="32" exit /b 1
exit /b 0

:usage
echo usage: install-windows.cmd [/uninstall] [/machine] [/browser NAME] [/path FULL_PATH] EXTENSION_ID ... 1>&2
exit /b 2
