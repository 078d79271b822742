# Intune Remediations, detection script for Quillmend (Windows PowerShell 5.1, run as SYSTEM,
# 64-bit). Runs the kept copy (install.cmd) with /check /quiet: exit code 1, "issue found", when a
# run would change something or would be refused, so that remediation-run.ps1 follows; 0 when the
# machine is current or holds no install of the suite. The output, the check's exit code, shows as
# the pre-remediation detection output.
$programFiles = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$tool = Join-Path $programFiles 'Quillmend\Quillmend.exe'
if (-not (Test-Path -LiteralPath $tool)) {
  "no kept copy at $tool: deploy the Win32 app (install.cmd) first"
  exit 1
}
$check = Start-Process -FilePath $tool -ArgumentList '/check', '/quiet' -Wait -PassThru
"Quillmend /check: exit code $($check.ExitCode)"
if ($check.ExitCode -eq 0 -or $check.ExitCode -eq 2) { exit 0 }
exit 1
