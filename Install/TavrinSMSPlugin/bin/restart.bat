@echo off
rem Restarts the SMS plug-in so that it reads its RTSP port again.
rem
rem On this platform the plug-in is a stand-in: a restart reads
rem "ums.1.rtspPort" from ..\conf\config.properties and appends one line to
rem restart.log beside this script, so every restart and the port it took
rem can be observed.
setlocal EnableExtensions DisableDelayedExpansion
set "bin_dir=%~dp0"
set "properties=%bin_dir%..\conf\config.properties"
if not exist "%properties%" (
    >&2 echo restart.bat: cannot read %properties%
    exit /b 1
)
rem The first "ums.1.rtspPort" line counts; blanks around key and value and an
rem inline "#" comment are not part of the value.
set "port="
for /f "usebackq eol=# tokens=1,* delims== " %%a in ("%properties%") do (
    if not defined port if "%%a"=="ums.1.rtspPort" call :value "%%b"
)
>>"%bin_dir%restart.log" echo %date% %time% restarted rtspPort=%port%
if errorlevel 1 exit /b 1
exit /b 0

:value
for /f "tokens=1 delims=# " %%v in ("%~1") do set "port=%%v"
exit /b 0
