@echo off
rem Starts Vorthane Run! with its assets as the working directory, from
rem wherever this launcher is started, and passes its exit status on.
rem Double-clicked, its window would close at once: after a failure it
rem waits for a key, so that the start-up log can be read.
setlocal
set "here=%~dp0"
if not exist "%here%assets\" (
    echo No "assets" folder beside this launcher, in "%here%": unpack the whole zip again.
    set "status=1"
    goto :done
)
cd /d "%here%assets"
"%here%vorthane-run.exe"
set "status=%ERRORLEVEL%"
:done
if not "%status%"=="0" call :waitIfDoubleClicked
exit /b %status%

:waitIfDoubleClicked
rem Explorer starts a double-clicked script as cmd /c ""<this file>" ";
rem typed at a prompt, cmd's command line does not name it and the log
rem stays on the screen anyway. (Wine's cmd leaves the command line empty.)
rem With input that is not a console, pause returns at once.
set "started=%cmdcmdline%"
if not defined started goto :wait
echo "%started%" | find "%~nx0" >nul
if errorlevel 1 exit /b
:wait
echo.
pause
exit /b
