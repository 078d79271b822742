# Detection for Quillmend's Intune Win32 app and Configuration Manager application (Windows
# PowerShell 5.1, run as SYSTEM). The tool decides, not this script: the copy install.cmd keeps
# in Program Files runs /check /quiet, which reads the machine and plans exactly as a run would,
# over every install, generation and user copy. The app counts as installed when the machine is
# current (0) or holds no install of the suite (2): exit code 0 and a line on standard output.
# Otherwise exit code 0 and no output, which both consoles read as "not installed" (a non-zero
# exit is a detection error to Configuration Manager).
$programFiles = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$tool = Join-Path $programFiles 'Quillmend\Quillmend.exe'
if (-not (Test-Path -LiteralPath $tool)) { exit 0 }
$check = Start-Process -FilePath $tool -ArgumentList '/check', '/quiet' -Wait -PassThru
switch ($check.ExitCode) {
  0 { 'Quillmend: current' }
  2 { 'Quillmend: no install of the suite here' }
}
exit 0
