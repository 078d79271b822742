@echo off
rem Group Policy start-up script for Quillmend (runs as SYSTEM before anyone logs on).
rem The folder holding Quillmend.exe and LicenseFile: the line below, or the script's parameter
rem in the GPO. The tool's exit code is the script's.
setlocal
set "folder=\\server\share\Quillmend"
if not "%~1"=="" set "folder=%~1"
"%folder%\Quillmend.exe" /quiet /log /json
exit /b %ERRORLEVEL%
