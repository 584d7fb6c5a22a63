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
set "corvel_use_file=%TEMP%\corvel-use-%RANDOM%%RANDOM%.cmd"
"%~dp0corvel.exe" export-shell --shell cmd -- %* > "%corvel_use_file%"
if errorlevel 1 goto failed
rem A file that could not be created (a missing or read-only TEMP) may leave errorlevel at 0.
if not exist "%corvel_use_file%" goto unwritten
"%~dp0corvel.exe" use -- %*
if errorlevel 1 goto failed
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
call "%corvel_use_file%"
if defined corvel_use_cp chcp %corvel_use_cp% > nul
del "%corvel_use_file%" 2> nul
set "corvel_use_file="
set "corvel_use_cp="
set "corvel_use_n="
exit /b 0
:unwritten
set "corvel_use_file="
exit /b 1
:failed
set "corvel_use_status=%errorlevel%"
del "%corvel_use_file%" 2> nul
set "corvel_use_file="
call :finish %corvel_use_status%
exit /b %errorlevel%
rem Clears the last variable of the script, then gives back the status it held.
:finish
set "corvel_use_status="
exit /b %1
