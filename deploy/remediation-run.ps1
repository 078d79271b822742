# Intune Remediations, remediation script for Quillmend (Windows PowerShell 5.1, run as SYSTEM,
# 64-bit). Runs the kept copy (install.cmd) as the install does, and shows the outcome from its
# record, %ProgramData%\Quillmend\last.json. The tool's exit code is the script's.
$programFiles = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$tool = Join-Path $programFiles 'Quillmend\Quillmend.exe'
if (-not (Test-Path -LiteralPath $tool)) {
  "no kept copy at $tool: deploy the Win32 app (install.cmd) first"
  exit 1
}
$run = Start-Process -FilePath $tool -ArgumentList '/quiet', '/log', '/json' -Wait -PassThru
$record = Get-Content "$env:ProgramData\Quillmend\last.json" -Raw -Encoding UTF8 | ConvertFrom-Json
"exit code $($run.ExitCode): $($record.box.text)"
exit $run.ExitCode
