@echo off
rem corvel-use ALIAS: switches the JDK with 'corvel use ALIAS' and, when that succeeded, applies
rem the same switch to this cmd session: a batch file run from the prompt changes the prompt's
rem own variables. The corvel.exe beside this file does the work.
rem
rem The lines of 'corvel export-shell ALIAS --shell cmd' go to a temporary batch file that is
rem called, so cmd reads them exactly as written, %%PATH%% expanded once, and nothing is
rem parsed a second time (CALL of a command line would double the carets in quoted text). The
rem console's code page is UTF-8 while that file is read, so that non-ASCII paths stay whole.
"%~dp0corvel.exe" use %*
if errorlevel 1 exit /b %errorlevel%
set "corvel_use_file=%TEMP%\corvel-use-%RANDOM%%RANDOM%.cmd"
"%~dp0corvel.exe" export-shell %1 --shell cmd > "%corvel_use_file%"
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
:failed
del "%corvel_use_file%" 2> nul
set "corvel_use_file="
exit /b 1
