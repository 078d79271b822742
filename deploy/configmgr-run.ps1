# Configuration Manager "Run Scripts" script for Quillmend (Windows PowerShell 5.1), run as SYSTEM
# on the chosen collection. Runs the tool from the share and shows its exit code and the last
# lines of its log. -Folder: the share's folder holding Quillmend.exe and LicenseFile.
param([string]$Folder = '\\server\share\Quillmend')

$p = Start-Process -FilePath (Join-Path $Folder 'Quillmend.exe') -ArgumentList '/quiet', '/log' -Wait -PassThru
"exit code $($p.ExitCode)"
Get-Content "$env:ProgramData\Quillmend\Quillmend.log" -Encoding UTF8 -Tail 5
