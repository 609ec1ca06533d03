@echo off
rem Registers the host with the browsers on Windows, or removes it.
rem
rem   install-windows.cmd [/uninstall] [/machine]
rem                       [/browser chrome^|chromium^|edge^|brave^|firefox^|all]
rem                       [/path C:\full\path\tavorin_shim.exe] EXTENSION_ID [EXTENSION_ID ...]
rem
rem Each ID is sorted by its form: 32 letters a to p is a Chrome-family
rem extension (Chrome, Chromium, Edge, Brave), allowed as the origin
rem chrome-extension://ID/ in com.tavorin.desktop.json; name@domain or a GUID
rem in braces is a Firefox extension, allowed as it is in
rem com.tavorin.desktop.firefox.json. Anything else is refused. Both
rem manifests go next to this script, and each browser's NativeMessagingHosts
rem key names its family's (HKCU, or HKLM with /machine), in the 64-bit
rem registry view whichever cmd.exe runs it. Brave reads Chromium's key, so
rem "brave" registers there. Without /browser, every browser whose kind of
rem ID was given. /uninstall removes the keys, and each manifest once no key
rem of either scope names it; an /uninstall without /machine says when a
rem machine-wide registration remains. Idempotent: running it twice leaves the
rem same keys and files.
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
set "CHROME_MANIFEST=%SCRIPT_DIR%%HOST_NAME%.json"
set "FIREFOX_MANIFEST=%SCRIPT_DIR%%HOST_NAME%.firefox.json"
set ORIGINS=
set CHROME_IDS=
set FIREFOX_LIST=
set FIREFOX_IDS=

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
call :sort_id
if errorlevel 1 (
  echo install-windows.cmd: not an extension ID ^(32 letters a to p for Chrome, Chromium, Edge and Brave; name@domain or a GUID in braces for Firefox^): "%~1" 1>&2
  call :hint_braces
  exit /b 2
)
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
if /i "%BROWSERS: =%"=="all" goto all_browsers

rem Every browser name is checked before anything changes.
for %%B in (%BROWSERS%) do (
  call :key_of %%B
  if errorlevel 1 exit /b 2
)
if "%ACTION%"=="uninstall" goto uninstall
for %%B in (%BROWSERS%) do (
  call :ids_for %%B
  if errorlevel 1 exit /b 2
)
goto check_host

:all_browsers
rem Brave reads Chromium's key: chromium stands for it in "all".
if "%ACTION%"=="uninstall" (
  set BROWSERS=chrome chromium edge firefox
  goto uninstall
)
set BROWSERS=
if defined CHROME_IDS set BROWSERS=chrome chromium edge
if defined FIREFOX_IDS set BROWSERS=%BROWSERS% firefox

:check_host
if "%BROWSERS%"=="" (
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

if defined CHROME_IDS (
  call :write_manifest chrome
  if errorlevel 1 exit /b 1
)
if defined FIREFOX_IDS (
  call :write_manifest firefox
  if errorlevel 1 exit /b 1
)
for %%B in (%BROWSERS%) do (
  call :register %%B
  if errorlevel 1 exit /b 1
)
exit /b 0

:uninstall
for %%B in (%BROWSERS%) do call :unregister %%B
rem A manifest goes only once no key of either scope names it: a key left
rem naming a missing file makes the browser answer "Specified native
rem messaging host not found" to every user it serves.
call :remove_if_unnamed "%CHROME_MANIFEST%"
call :remove_if_unnamed "%FIREFOX_MANIFEST%"
if "%HIVE%"=="HKCU" call :tell_machine_registration
exit /b 0

:remove_if_unnamed
if not exist "%~1" exit /b 0
call :as_reg_shows "%~1"
set NAMED_BY=
for %%H in (HKCU HKLM) do for %%B in (chrome chromium edge firefox) do call :names_file %%H %%B
if defined NAMED_BY (
  echo kept "%~1": %NAMED_BY% names it
  exit /b 0
)
del "%~1"
echo removed "%~1"
exit /b 0

:as_reg_shows
rem reg.exe shows a value through the console's code page, which loses the
rem letters outside it. The manifest's path goes through reg.exe and back
rem the same way, so both sides of the comparison lose the same letters; two
rem paths that differ only there look alike, and a manifest is kept then.
set "SCRATCH=HKCU\Software\tavorin\install-windows.cmd"
reg add "%SCRATCH%" /ve /d "%~1" /f /reg:64 >nul
call :read_default "%SCRATCH%" 64
set "WANTED=%VALUE%"
reg delete "%SCRATCH%" /f /reg:64 >nul
exit /b 0

:names_file
rem Whether the key of browser %2 in hive %1 names the manifest, in either
rem registry view.
set "SAVED_HIVE=%HIVE%"
set "HIVE=%1"
call :key_of %2
set "HIVE=%SAVED_HIVE%"
for %%V in (64 32) do (
  call :read_default "%KEY%" %%V
  call :if_wanted
)
exit /b 0

:if_wanted
if defined VALUE if /i "%VALUE%"=="%WANTED%" set "NAMED_BY=%KEY%"
exit /b 0

:read_default
rem The default value of key %1 in view %2 as reg.exe shows it, or nothing.
rem It follows its type on reg's line; the value's name before the type
rem depends on the system's language.
set VALUE=
for /f "delims=" %%L in ('reg query "%~1" /ve /reg:%2 2^>nul') do call :take_value "%%L"
exit /b 0

:take_value
set "LINE=%~1"
if "%LINE:REG_SZ    =%"=="%LINE%" exit /b 0
set "VALUE=%LINE:*REG_SZ    =%"
exit /b 0

:tell_machine_registration
set MACHINE_KEY=
for %%B in (chrome chromium edge firefox) do call :machine_key_of %%B
if not defined MACHINE_KEY exit /b 0
echo still registered for every user of this machine: %MACHINE_KEY%
echo to remove that too, run from an administrator prompt: install-windows.cmd /machine /uninstall
exit /b 0

:machine_key_of
set "SAVED_HIVE=%HIVE%"
set HIVE=HKLM
call :key_of %1
set "HIVE=%SAVED_HIVE%"
for %%V in (64 32) do (
  reg query "%KEY%" /ve /reg:%%V >nul 2>&1
  if not errorlevel 1 set "MACHINE_KEY=%KEY%"
)
exit /b 0

:write_manifest
rem The manifest of one family, chrome or firefox: its file, the name of its
rem list, the list as JSON and the IDs, for the Windows Script Host, by kind.
if "%1"=="firefox" (
  set "TARGET=%FIREFOX_MANIFEST%"
  set LIST_NAME=allowed_extensions
  set LIST=%FIREFOX_LIST%
  set KIND=extensions
  set WSH_IDS=%FIREFOX_IDS%
) else (
  set "TARGET=%CHROME_MANIFEST%"
  set LIST_NAME=allowed_origins
  set LIST=%ORIGINS%
  set KIND=origins
  set WSH_IDS=%CHROME_IDS%
)
rem Beside the manifest the host is named by its file name alone, which
rem the browsers resolve against the manifest's folder, so the folder's
rem name never has to be written into the file.
if /i "%HOST_DIR%"=="%SCRIPT_DIR%" if /i "%HOST_FILE%"=="tavorin_shim.exe" (
  call :write_plain_manifest
  goto wrote_manifest
)
call :write_escaped_manifest
if errorlevel 1 exit /b 1
:wrote_manifest
echo wrote "%TARGET%"
exit /b 0

:write_plain_manifest
rem Every byte of this manifest is ASCII, so it is UTF-8 whatever the
rem console's code page. One line at a time: a redirected block rewrites an
rem existing file only in part under some cmd versions.
> "%TARGET%" echo {
>> "%TARGET%" echo   "name": "%HOST_NAME%",
>> "%TARGET%" echo   "description": "Tavorin Desktop App bridge",
>> "%TARGET%" echo   "path": "tavorin_shim.exe",
>> "%TARGET%" echo   "type": "stdio",
>> "%TARGET%" echo   "%LIST_NAME%": [%LIST%]
>> "%TARGET%" echo }
exit /b 0

:write_escaped_manifest
rem A full path can hold any character, and cmd writes files in the console's
rem code page, which the browsers' JSON readers (UTF-8 only) refuse. The
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
>> "%JS%" echo var allowed = [];
>> "%JS%" echo for (var n = 5; n !== args.length; n++) allowed.push(quoted(args(4) === 'origins' ? 'chrome-extension://' + args(n) + '/' : args(n)));
>> "%JS%" echo var lines = ['{',
>> "%JS%" echo   '  ' + quoted('name') + ': ' + quoted(args(1)) + ',',
>> "%JS%" echo   '  ' + quoted('description') + ': ' + quoted('Tavorin Desktop App bridge') + ',',
>> "%JS%" echo   '  ' + quoted('path') + ': ' + quoted(args(2)) + ',',
>> "%JS%" echo   '  ' + quoted('type') + ': ' + quoted('stdio') + ',',
>> "%JS%" echo   '  ' + quoted(args(3)) + ': [' + allowed.join(', ') + ']',
>> "%JS%" echo   '}', ''];
>> "%JS%" echo var file = new ActiveXObject('Scripting.FileSystemObject').CreateTextFile(args(0), true, false);
>> "%JS%" echo file.Write(lines.join(String.fromCharCode(13, 10)));
>> "%JS%" echo file.Close();
rem Written beside the manifest and then moved over it, so that a failure
rem leaves the earlier manifest whole. //E:JScript names the engine, so the
rem script runs even where .js files are set to open in Notepad (a common
rem hardening step). Wine's cscript knows no //E: and fails at once: the
rem second try is for it, and on Windows it can only fail the same way.
del "%TARGET%.new" 2>nul
cscript //nologo //E:JScript "%JS%" "%TARGET%.new" "%HOST_NAME%" "%HOST_PATH%" %LIST_NAME% %KIND% %WSH_IDS% >nul 2>&1
if not exist "%TARGET%.new" cscript //nologo "%JS%" "%TARGET%.new" "%HOST_NAME%" "%HOST_PATH%" %LIST_NAME% %KIND% %WSH_IDS% >nul
del "%JS%" 2>nul
if exist "%TARGET%.new" (
  move /y "%TARGET%.new" "%TARGET%" >nul
  exit /b 0
)
echo install-windows.cmd: could not write "%TARGET%" through the Windows Script Host ^(cscript^); put tavorin_shim.exe next to this script and leave out /path, or install the MSI 1>&2
exit /b 1

:register
call :key_of %1
set "MANIFEST=%CHROME_MANIFEST%"
if /i "%1"=="firefox" set "MANIFEST=%FIREFOX_MANIFEST%"
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
if /i "%1"=="firefox" set KEY=%HIVE%\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%
if defined KEY exit /b 0
echo install-windows.cmd: unknown browser: %1 ^(chrome, chromium, edge, brave, firefox or all^) 1>&2
exit /b 1

:ids_for
rem A browser named with /browser needs an ID of its kind.
if /i "%1"=="firefox" (
  if defined FIREFOX_IDS exit /b 0
  echo install-windows.cmd: /browser firefox needs a Firefox extension ID ^(name@domain or a GUID in braces^) 1>&2
  exit /b 1
)
if defined CHROME_IDS exit /b 0
echo install-windows.cmd: /browser %1 needs an extension ID of 32 letters a to p 1>&2
exit /b 1

:sort_id
rem Adds ID to the Chrome family's list or to Firefox's, by its form; fails
rem for anything else.
rem cmd.exe compares texts as the language sorts them, where the Kelvin
rem sign is a "K", so anything but these ASCII characters is refused first:
rem for /f splits at exactly the characters it is given, and finds a piece
rem only where another one stands.
for /f "delims=abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._@{}" %%R in ("%ID%") do exit /b 1
call :check_chrome_id
if errorlevel 1 goto sort_firefox
if defined ORIGINS set ORIGINS=%ORIGINS%, "chrome-extension://%ID%/"
if not defined ORIGINS set ORIGINS="chrome-extension://%ID%/"
set CHROME_IDS=%CHROME_IDS% %ID%
exit /b 0
:sort_firefox
call :check_firefox_id
if errorlevel 1 exit /b 1
if defined FIREFOX_LIST set FIREFOX_LIST=%FIREFOX_LIST%, "%ID%"
if not defined FIREFOX_LIST set FIREFOX_LIST="%ID%"
set FIREFOX_IDS=%FIREFOX_IDS% %ID%
exit /b 0

:check_chrome_id
rem An extension ID is exactly 32 letters from a to p, in lower case.
set "REST=%ID%"
set LETTERS=0
:chrome_letter
if "%REST%"=="" goto chrome_length
set "LETTER=%REST:~0,1%"
set "REST=%REST:~1%"
set FOUND=
for %%L in (a b c d e f g h i j k l m n o p) do if "%LETTER%"=="%%L" set FOUND=1
if not defined FOUND exit /b 1
set /a LETTERS+=1
goto chrome_letter
:chrome_length
if not "%LETTERS%"=="32" exit /b 1
exit /b 0

:check_firefox_id
rem As Firefox takes an add-on's ID, in either case: a GUID in braces, or
rem letters, digits, "-", "." and "_" around one "@" with something after it.
set "REST=%ID%"
if "%REST:~0,1%"=="{" goto check_guid
set AT=0
set AFTER=0
:firefox_letter
if "%REST%"=="" goto firefox_end
set "LETTER=%REST:~0,1%"
set "REST=%REST:~1%"
if "%LETTER%"=="@" (
  set /a AT+=1
  goto firefox_letter
)
set FOUND=
for %%L in (a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9 - . _) do if /i "%LETTER%"=="%%L" set FOUND=1
if not defined FOUND exit /b 1
if "%AT%"=="1" set /a AFTER+=1
goto firefox_letter
:firefox_end
if not "%AT%"=="1" exit /b 1
if "%AFTER%"=="0" exit /b 1
exit /b 0

:check_guid
set POSITION=0
:guid_letter
if "%REST%"=="" goto guid_end
set "LETTER=%REST:~0,1%"
set "REST=%REST:~1%"
set WANT=hex
if "%POSITION%"=="0" set WANT={
if "%POSITION%"=="37" set WANT=}
for %%P in (9 14 19 24) do if "%POSITION%"=="%%P" set WANT=-
set /a POSITION+=1
if not "%WANT%"=="hex" (
  if not "%LETTER%"=="%WANT%" exit /b 1
  goto guid_letter
)
set FOUND=
for %%L in (0 1 2 3 4 5 6 7 8 9 a b c d e f) do if /i "%LETTER%"=="%%L" set FOUND=1
if not defined FOUND exit /b 1
goto guid_letter
:guid_end
if not "%POSITION%"=="38" exit /b 1
exit /b 0

:hint_braces
rem PowerShell takes an unquoted {GUID} for a script block and passes it on
rem without its braces.
if not "%ID:~8,1%%ID:~13,1%%ID:~18,1%%ID:~23,1%"=="----" exit /b 0
if "%ID:~35,1%"=="" exit /b 0
if not "%ID:~36,1%"=="" exit /b 0
echo install-windows.cmd: a GUID without its braces: PowerShell may have removed them; quote it there: '{%ID%}' 1>&2
exit /b 0

:usage
echo usage: install-windows.cmd [/uninstall] [/machine] [/browser NAME] [/path FULL_PATH] EXTENSION_ID ... 1>&2
echo   a Firefox GUID keeps its braces; in PowerShell quote it: '{GUID}' 1>&2
exit /b 2
