# Intune detection script for Quillmend (Windows PowerShell 5.1).
# Detects the deployed file, not the tool: the app counts as installed when every install of the
# suite holds the sslServer.tg of your LicenseFile. Intune wants exit code 0 and some output.
# Set $expected to the value of: Get-FileHash .\LicenseFile\sslServer.tg
# For client servers older than revision 100 (they receive server.key and server.pem), set
# $fileName to 'server.pem' and $expected to that file's hash.
$expected = '0000000000000000000000000000000000000000000000000000000000000000'
$fileName = 'sslServer.tg'

$uninstall = 'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\MARROWBY'
$found = 0
$current = 0
foreach ($view in 'Registry64', 'Registry32') {
  $hklm = [Microsoft.Win32.RegistryKey]::OpenBaseKey('LocalMachine', $view)
  $vendor = $hklm.OpenSubKey($uninstall)
  if (-not $vendor) { continue }
  foreach ($name in $vendor.GetSubKeyNames()) {
    $appPath = $vendor.OpenSubKey($name).GetValue('App Path')
    if (-not $appPath) { continue }
    $file = Join-Path (Split-Path $appPath -Parent) "MWClientServer\$fileName"
    if (-not (Test-Path -LiteralPath $file)) { continue }
    $found++
    if ((Get-FileHash -Algorithm SHA256 -LiteralPath $file).Hash -eq $expected) { $current++ }
  }
}
if ($found -gt 0 -and $current -eq $found) {
  "$fileName current in $found install(s)"
  exit 0
}
exit 1
