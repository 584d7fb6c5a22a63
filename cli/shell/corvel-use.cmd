@echo off
rem corvel-use ALIAS: switches the JDK with 'corvel use ALIAS' and applies the same switch to
rem this cmd session: a batch file run from the prompt changes the prompt's own variables. The
rem corvel.exe beside this file does the work; the exit status is corvel's.
rem
rem The lines of 'corvel export-shell ALIAS --shell cmd' are written first, to a temporary batch
rem file: only when that succeeded does 'corvel use' switch the registry, and only when that
rem succeeded is the file called, so cmd reads the lines exactly as written, %%PATH%% expanded
rem once, and nothing is parsed a second time (CALL of a command line would double the carets in
rem quoted text). "--" ends corvel's options, so an alias may begin with "-". The console's code
rem page is UTF-8 while that file is read, so that non-ASCII paths stay whole.
rem
rem With delayed expansion on in the session (cmd /v:on, setlocal EnableDelayedExpansion, the
rem registry's DelayedExpansion), cmd drops the '!'s of every line that holds one once %%...%% is
rem expanded. So everything up to 'corvel use' runs with it off; then the file's PATH line runs
rem against an empty PATH, which leaves only the bin folder, and the session's PATH, copied with
rem !PATH! (a value Windows' cmd does not scan again), goes back behind it. A '!' in the JDK path
rem or in the file's own path would be lost, and so would those of a PATH whose copy comes out
rem changed (Wine's cmd scans it again): refused with one line before anything is switched. The
rem lone '!' below is dropped when delayed expansion is on, leaving corvel_use_bang undefined.
setlocal
set "corvel_use_bang=!"
set "corvel_use_path=!PATH!"
setlocal DisableDelayedExpansion
set "corvel_use_file=%TEMP%\corvel-use-%RANDOM%%RANDOM%.cmd"
"%~dp0corvel.exe" export-shell --shell cmd -- %* > "%corvel_use_file%"
if errorlevel 1 goto failed
rem A file that could not be created (a missing or read-only TEMP) may leave errorlevel at 0.
if not exist "%corvel_use_file%" exit /b 1
if defined corvel_use_bang goto use
set "corvel_use_what=The TEMP path"
if not "%corvel_use_file:!=%" == "%corvel_use_file%" goto refused
set "corvel_use_what=The JDK path"
"%SystemRoot%\System32\find.exe" "!" < "%corvel_use_file%" > nul
if not errorlevel 1 goto refused
rem Only a PATH that holds a '!' is compared (a line holds at most 8191 characters), without its
rem quotes, which would end the quoted text early.
set "corvel_use_what=The session PATH"
set PATH| "%SystemRoot%\System32\find.exe" "!" > nul
if errorlevel 1 goto use
set "corvel_use_path=.%corvel_use_path%"
set "corvel_use_old=.%PATH%"
if not "%corvel_use_path:"=%" == "%corvel_use_old:"=%" goto refused
:use
"%~dp0corvel.exe" use -- %*
if errorlevel 1 goto failed
endlocal & endlocal & set "corvel_use_file=%corvel_use_file%"
set "corvel_use_bang=!"
rem The active code page is the last word of chcp's answer ("Active code page: 850."); 0 when
rem there is no console, and then nothing is changed.
set "corvel_use_cp="
set "corvel_use_n="
for /f "tokens=*" %%C in ('chcp') do set "corvel_use_cp=%%C"
if defined corvel_use_cp for %%N in (%corvel_use_cp%) do set "corvel_use_cp=%%N"
if defined corvel_use_cp set "corvel_use_cp=%corvel_use_cp:.=%"
if defined corvel_use_cp set /a "corvel_use_n=%corvel_use_cp%" > nul 2>&1
if not "%corvel_use_n%" == "%corvel_use_cp%" set "corvel_use_cp="
if "%corvel_use_cp%" == "0" set "corvel_use_cp="
if defined corvel_use_cp chcp 65001 > nul
if not defined corvel_use_bang set "corvel_use_path=!PATH!"
if not defined corvel_use_bang set "PATH="
call "%corvel_use_file%"
if not defined corvel_use_bang set "PATH=!PATH!!corvel_use_path!"
if defined corvel_use_cp chcp %corvel_use_cp% > nul
del "%corvel_use_file%" 2> nul
set "corvel_use_file="
set "corvel_use_cp="
set "corvel_use_n="
set "corvel_use_path="
set "corvel_use_bang="
exit /b 0
:refused
>&2 echo Error: %corvel_use_what% holds '!', which cmd drops while delayed expansion is on; nothing was switched: open a new terminal after 'corvel use' instead
del "%corvel_use_file%" 2> nul
exit /b 1
:failed
set "corvel_use_status=%errorlevel%"
del "%corvel_use_file%" 2> nul
exit /b %corvel_use_status%
