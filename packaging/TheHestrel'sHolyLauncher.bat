@echo off
rem Starts Vorthane Run! with its assets as the working directory,
rem wherever this launcher is started from, and passes its exit status on.
setlocal
pushd "%~dp0assets" || exit /b 1
"%~dp0vorthane-run.exe"
set "status=%ERRORLEVEL%"
popd
exit /b %status%
