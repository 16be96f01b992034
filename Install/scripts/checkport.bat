@echo off
rem Prints the name of the process that holds a local TCP or UDP port, in
rem double quotes, e.g.  "nginx.exe"
rem Usage: checkport.bat PORT
rem Prints nothing when no process is named for the port; exits 2 on a bad
rem argument.
setlocal EnableExtensions DisableDelayedExpansion
set "port=%~1"
if "%port%"=="" goto usage
for /f "delims=0123456789" %%c in ("%port%") do goto usage
if %port% lss 1 goto range
if %port% gtr 65535 goto range
rem netstat names the owner's id last: TCP lines carry a state before it,
rem UDP lines do not.
set "pid="
for /f "tokens=1,2,4,5" %%a in ('netstat -ano') do (
    if not defined pid call :match "%%a" "%%b" "%%c" "%%d"
)
if not defined pid exit /b 0
if "%pid%"=="0" exit /b 0
for /f "tokens=1 delims=," %%n in ('tasklist /fi "PID eq %pid%" /fo csv /nh') do (
    if not "%%~n"=="INFO:" echo "%%~n"
    exit /b 0
)
exit /b 0

:match
rem The local address of the line ends with ":PORT".
echo %~2|findstr /e /c:":%port%" >nul || exit /b 0
if /i "%~1"=="TCP" (set "pid=%~4") else set "pid=%~3"
exit /b 0

:usage
>&2 echo usage: checkport.bat PORT
exit /b 2
:range
>&2 echo checkport.bat: port out of range: %port%
exit /b 2
