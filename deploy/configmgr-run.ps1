# Configuration Manager "Run Scripts" script for Quillmend (Windows PowerShell 5.1), run as SYSTEM
# on the chosen collection. Runs the tool from the share and returns its record, the JSON of
# %ProgramData%\Quillmend\last.json, which the console shows per device. -Folder: the share's
# folder holding Quillmend.exe and LicenseFile.
param([string]$Folder = '\\server\share\Quillmend')

Start-Process -FilePath (Join-Path $Folder 'Quillmend.exe') -ArgumentList '/quiet', '/log', '/json' -Wait | Out-Null
Get-Content "$env:ProgramData\Quillmend\last.json" -Raw -Encoding UTF8
