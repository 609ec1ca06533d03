@echo off
rem Registers the host with Chromium-family browsers on Windows, or removes it.
rem
rem   install-windows.cmd [/uninstall] [/machine] [/browser chrome^|chromium^|edge^|brave^|all]
rem                       [/path C:\full\path\tavorin_shim.exe] EXTENSION_ID [EXTENSION_ID ...]
rem
rem Writes the host manifest com.tavorin.desktop.json next to this script and
rem points each browser's NativeMessagingHosts key at it (HKCU, or HKLM with
rem /machine), in the 64-bit registry view whichever cmd.exe runs it. Brave
rem reads Chromium's key, so "brave" registers there. /uninstall removes the
rem keys, and the manifest when every browser is uninstalled. Idempotent:
rem running it twice leaves the same keys and file.
rem
rem Plain cmd on purpose: nothing beyond what every Windows has. Written
rem without delayed expansion (a "!" in a path would vanish) or
rem "call ... ||", which some cmd versions lack.
setlocal EnableExtensions DisableDelayedExpansion

rem This script's own folder, taken once before any shift: cmd.exe's shift
rem moves %%0 too, and on Windows %%~dp0 is then worked out from whatever
rem argument took its place when that one starts with a quote, so
rem '/path "D:\My Apps\tavorin_shim.exe"' would make D:\My Apps\ look like
rem this script's folder. (Wine's cmd does not do this; the tests cannot
rem show it.)
set "SCRIPT_DIR=%~dp0"

set HOST_NAME=com.tavorin.desktop
set HIVE=HKCU
set ACTION=install
set BROWSERS=
set "HOST_PATH=%SCRIPT_DIR%tavorin_shim.exe"
set "MANIFEST=%SCRIPT_DIR%%HOST_NAME%.json"
set ORIGINS=
set IDS=
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
set IDS=%IDS% %ID%
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
set ALL_BROWSERS=
if "%BROWSERS%"=="" set BROWSERS=all
rem Brave reads Chromium's key: chromium stands for it in "all".
if /i "%BROWSERS: =%"=="all" (
  set BROWSERS=chrome chromium edge
  set ALL_BROWSERS=1
)

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
  echo install-windows.cmd: /path must be a full path such as C:\Program Files\Tavorin\tavorin_shim.exe: "%HOST_PATH%" 1>&2
  exit /b 2
)
if not exist "%HOST_PATH%" (
  echo install-windows.cmd: no host at "%HOST_PATH%" 1>&2
  exit /b 2
)
for %%F in ("%HOST_PATH%") do (
  set "HOST_DIR=%%~dpF"
  set "HOST_FILE=%%~nxF"
)
rem Current Chrome and Edge quote the host's path whole on the cmd.exe line
rem they start it with, but browsers from before 2024 ran "cmd /c" without
rem /s, which cut the path at an "&". Refused, as costing nobody much.
if not "%HOST_DIR:&=%"=="%HOST_DIR%" (
  echo install-windows.cmd: the host's folder contains "&", at which browsers released before 2024 cut its path when they start it; move it to a folder without "&": "%HOST_DIR%" 1>&2
  exit /b 2
)

rem Beside the manifest the host is named by its file name alone, which the
rem browser resolves against the manifest's folder, so the folder's name
rem never has to be written into the file.
if /i "%HOST_DIR%"=="%SCRIPT_DIR%" if /i "%HOST_FILE%"=="tavorin_shim.exe" (
  call :write_plain_manifest
  goto registered_manifest
)
call :write_escaped_manifest
if errorlevel 1 exit /b 1

:registered_manifest
echo wrote "%MANIFEST%"
for %%B in (%BROWSERS%) do (
  call :register %%B
  if errorlevel 1 exit /b 1
)
exit /b 0

:uninstall
for %%B in (%BROWSERS%) do call :unregister %%B
rem The manifest serves every browser: it goes with the last of them.
if defined ALL_BROWSERS if exist "%MANIFEST%" (
  del "%MANIFEST%"
  echo removed "%MANIFEST%"
)
exit /b 0

:write_plain_manifest
rem Every byte of this manifest is ASCII, so it is UTF-8 whatever the
rem console's code page. One line at a time: a redirected block rewrites an
rem existing file only in part under some cmd versions.
> "%MANIFEST%" echo {
>> "%MANIFEST%" echo   "name": "%HOST_NAME%",
>> "%MANIFEST%" echo   "description": "Tavorin Desktop App bridge",
>> "%MANIFEST%" echo   "path": "tavorin_shim.exe",
>> "%MANIFEST%" echo   "type": "stdio",
>> "%MANIFEST%" echo   "allowed_origins": [%ORIGINS%]
>> "%MANIFEST%" echo }
exit /b 0

:write_escaped_manifest
rem A full path can hold any character, and cmd writes files in the console's
rem code page, which the browser's JSON reader (UTF-8 only) refuses. The
rem Windows Script Host writes the manifest instead, as pure ASCII with every
rem other character as a JSON \u escape. Its script avoids every character
rem that cmd's echo would interpret.
set "JS=%TEMP%\tavorin-manifest-%RANDOM%%RANDOM%.js"
> "%JS%" echo var args = WScript.Arguments;
>> "%JS%" echo function quoted(text) {
>> "%JS%" echo   var out = String.fromCharCode(34);
>> "%JS%" echo   for (var i = 0; i !== text.length; i++) {
>> "%JS%" echo     var code = text.charCodeAt(i);
>> "%JS%" echo     var printable = Math.max(0, (code - 32) * (126 - code) + 1);
>> "%JS%" echo     if (code === 34 ^|^| code === 92) out += String.fromCharCode(92, code);
>> "%JS%" echo     else if (printable) out += text.charAt(i);
>> "%JS%" echo     else out += String.fromCharCode(92) + 'u' + (65536 + code).toString(16).slice(1);
>> "%JS%" echo   }
>> "%JS%" echo   return out + String.fromCharCode(34);
>> "%JS%" echo }
>> "%JS%" echo var origins = [];
>> "%JS%" echo for (var n = 3; n !== args.length; n++) origins.push(quoted('chrome-extension://' + args(n) + '/'));
>> "%JS%" echo var lines = ['{',
>> "%JS%" echo   '  ' + quoted('name') + ': ' + quoted(args(1)) + ',',
>> "%JS%" echo   '  ' + quoted('description') + ': ' + quoted('Tavorin Desktop App bridge') + ',',
>> "%JS%" echo   '  ' + quoted('path') + ': ' + quoted(args(2)) + ',',
>> "%JS%" echo   '  ' + quoted('type') + ': ' + quoted('stdio') + ',',
>> "%JS%" echo   '  ' + quoted('allowed_origins') + ': [' + origins.join(', ') + ']',
>> "%JS%" echo   '}', ''];
>> "%JS%" echo var file = new ActiveXObject('Scripting.FileSystemObject').CreateTextFile(args(0), true, false);
>> "%JS%" echo file.Write(lines.join(String.fromCharCode(13, 10)));
>> "%JS%" echo file.Close();
rem Written beside the manifest and then moved over it, so that a failure
rem leaves the earlier manifest whole. //E:JScript names the engine, so the
rem script runs even where .js files are set to open in Notepad (a common
rem hardening step). Wine's cscript knows no //E: and fails at once: the
rem second try is for it, and on Windows it can only fail the same way.
del "%MANIFEST%.new" 2>nul
cscript //nologo //E:JScript "%JS%" "%MANIFEST%.new" "%HOST_NAME%" "%HOST_PATH%" %IDS% >nul 2>&1
if not exist "%MANIFEST%.new" cscript //nologo "%JS%" "%MANIFEST%.new" "%HOST_NAME%" "%HOST_PATH%" %IDS% >nul
set STATUS=%errorlevel%
del "%JS%" 2>nul
if exist "%MANIFEST%.new" set STATUS=0
if "%STATUS%"=="0" if exist "%MANIFEST%.new" (
  move /y "%MANIFEST%.new" "%MANIFEST%" >nul
  exit /b 0
)
del "%MANIFEST%.new" 2>nul
echo install-windows.cmd: could not write "%MANIFEST%" through the Windows Script Host ^(cscript^); put tavorin_shim.exe next to this script and leave out /path, or install the MSI 1>&2
exit /b 1

:register
call :key_of %1
reg add "%KEY%" /ve /t REG_SZ /d "%MANIFEST%" /f /reg:64 >nul
if errorlevel 1 exit /b 1
echo registered %KEY%
exit /b 0

:unregister
call :key_of %1
reg query "%KEY%" /reg:64 >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "%KEY%" /f /reg:64 >nul
if errorlevel 1 exit /b 1
echo removed %KEY%
exit /b 0

:key_of
set KEY=
if /i "%1"=="chrome" set KEY=%HIVE%\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="chromium" set KEY=%HIVE%\Software\Chromium\NativeMessagingHosts\%HOST_NAME%
if /i "%1"=="edge" set KEY=%HIVE%\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%
rem Brave reads Chromium's key, then Chrome's, as every Chromium build other
rem than Chrome does: it never looks under BraveSoftware.
if /i "%1"=="brave" set KEY=%HIVE%\Software\Chromium\NativeMessagingHosts\%HOST_NAME%
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
