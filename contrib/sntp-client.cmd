@echo off
rem Steps the clock once to an NTP server's time and appends the report, dated, to
rem sntp-client.log beside this file and sntp-client.exe. The README's scheduled task runs it
rem hourly as SYSTEM, the account that may set the time:  sntp-client.cmd [SERVER[:PORT]]
setlocal
set "NTP_SERVER_NAME=pool.ntp.org"
if not "%~1"=="" set "NTP_SERVER_NAME=%~1"
set "STATUS_OF_EXECUTION=ADJUST_TIME"
set "LOG=%~dp0sntp-client.log"
>>"%LOG%" echo ==== %DATE% %TIME%
"%~dp0sntp-client.exe" >>"%LOG%" 2>&1
