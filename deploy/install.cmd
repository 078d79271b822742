@echo off
rem Install command for Quillmend's Intune Win32 app and Configuration Manager application (runs
rem as SYSTEM from the package's folder). Keeps the package, Quillmend.exe and its LicenseFile,
rem in "Program Files\Quillmend", where only administrators may write, for the detection and the
rem Remediations scripts to run later; then runs the kept copy. A new package replaces the kept
rem LicenseFile whole, so a file dropped from it is never deployed again. The tool's exit code is
rem the script's; 1 when the copy cannot be kept.
setlocal
set "kept=%ProgramW6432%"
if "%kept%"=="" set "kept=%ProgramFiles%"
set "kept=%kept%\Quillmend"
if not exist "%kept%\" mkdir "%kept%"
if not exist "%kept%\" exit /b 1
if exist "%kept%\LicenseFile\" rd /s /q "%kept%\LicenseFile"
if exist "%kept%\LicenseFile\" exit /b 1
copy /y "%~dp0Quillmend.exe" "%kept%\Quillmend.exe" >nul
if errorlevel 1 exit /b 1
xcopy "%~dp0LicenseFile" "%kept%\LicenseFile\" /e /i /y /q >nul
if errorlevel 1 exit /b 1
"%kept%\Quillmend.exe" /quiet /log /json
exit /b %ERRORLEVEL%
