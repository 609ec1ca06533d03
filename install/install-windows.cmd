@echo off
rem Registers the host with Chromium-family browsers on Windows, or removes it.
rem
rem   install-windows.cmd [/uninstall] [/machine] [/browser chrome|chromium|edge|brave|all]
rem                       [/path C:\full\path\tavorin_shim.exe] EXTENSION_ID [EXTENSION_ID ...]
rem
rem Writes the host manifest next to the host and points each browser's
rem NativeMessagingHosts key at it (HKCU, or HKLM with /machine).
rem Idempotent: running it twice leaves the same keys and file.
setlocal EnableDelayedExpansion

set HOST_NAME=com.tavorin.desktop
set HIVE=HKCU
set ACTION=install
set BROWSERS=
set HOST_PATH=%~dp0tavorin_shim.exe
set ORIGINS=
set COUNT=0

:parse
if "%~1"=="" goto parsed
if /i "%~1"=="/uninstall" (set ACTION=uninstall& shift & goto parse)
if /i "%~1"=="/machine" (set HIVE=HKLM& shift & goto parse)
if /i "%~1"=="/browser" (
  if "%~2"=="" goto usage
  set BROWSERS=!BROWSERS! %~2& shift & shift & goto parse
)
if /i "%~1"=="/path" (
  if "%~2"=="" goto usage
  set HOST_PATH=%~2& shift & shift & goto parse
)
set ID=%~1
echo(!ID!| findstr /r /x "[a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p][a-p]" >nul
if errorlevel 1 (
  echo install-windows.cmd: not an extension ID ^(32 letters a to p^): !ID! 1>&2
  exit /b 2
)
if defined ORIGINS (set ORIGINS=!ORIGINS!, "chrome-extension://!ID!/") else (set ORIGINS="chrome-extension://!ID!/")
set /a COUNT+=1
shift
goto parse

:parsed
if "%BROWSERS%"=="" set BROWSERS=all
if /i "%BROWSERS: =%"=="all" set BROWSERS=chrome chromium edge brave

for %%B in (%BROWSERS%) do (
  call :key_of %%B || exit /b 2
)

if "%ACTION%"=="uninstall" (
  for %%B in (%BROWSERS%) do (
    call :key_of %%B
    reg query "!KEY!" >nul 2>&1 && (reg delete "!KEY!" /f >nul && echo removed !KEY!)
  )
  exit /b 0
)

if %COUNT%==0 (
  echo install-windows.cmd: give at least one extension ID 1>&2
  exit /b 2
)
rem A full path only: drive letter or UNC share.
set P2=%HOST_PATH:~1,2%
set P1=%HOST_PATH:~0,2%
if not "%P2%"==":\" if not "%P1%"=="\\" (
  echo install-windows.cmd: /path must be a full path such as C:\Program Files\Tavorin\tavorin_shim.exe: %HOST_PATH% 1>&2
  exit /b 2
)
if not exist "%HOST_PATH%" (
  echo install-windows.cmd: no host at %HOST_PATH% 1>&2
  exit /b 2
)

for %%F in ("%HOST_PATH%") do set MANIFEST=%%~dpF%HOST_NAME%.json
set JSON_PATH=%HOST_PATH:\=\\%
> "%MANIFEST%" (
  echo {
  echo   "name": "%HOST_NAME%",
  echo   "description": "Tavorin Desktop App bridge",
  echo   "path": "!JSON_PATH!",
  echo   "type": "stdio",
  echo   "allowed_origins": [!ORIGINS!]
  echo }
)
echo wrote %MANIFEST%
for %%B in (%BROWSERS%) do (
  call :key_of %%B
  reg add "!KEY!" /ve /t REG_SZ /d "%MANIFEST%" /f >nul || exit /b 1
  echo registered !KEY!
)
exit /b 0

:key_of
set KEY=
if /i "%1"=="chrome" set KEY=%HIVE%\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="chromium" set KEY=%HIVE%\Software\Chromium\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="edge" set KEY=%HIVE%\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="brave" set KEY=%HIVE%\Software\BraveSoftware\Brave-Browser\NativeMessagingHosts\%HOST_NAME%
if not defined KEY (
  echo install-windows.cmd: unknown browser: %1 ^(chrome, chromium, edge, brave or all^) 1>&2
  exit /b 2
)
exit /b 0

:usage
echo usage: install-windows.cmd [/uninstall] [/machine] [/browser NAME] [/path FULL_PATH] EXTENSION_ID ... 1>&2
exit /b 2
