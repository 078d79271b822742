# PowerShell remoting fan-out for Quillmend (Windows PowerShell 5.1; WinRM enabled on the
# targets). From an administrator's machine: keeps the folder on each computer where install.cmd
# keeps it (Program Files\Quillmend, its LicenseFile replaced whole), runs the tool there for all
# users, and collects each run's record (<computer>.json in the current folder).
# -Computers: a file with one computer name a line. -Source: the folder holding Quillmend.exe
# and LicenseFile.
param([string]$Computers = '.\computers.txt', [string]$Source = '.\Quillmend')

$results = foreach ($computer in Get-Content $Computers) {
  try {
    $session = New-PSSession -ComputerName $computer -ErrorAction Stop
    $kept = Invoke-Command -Session $session {
      $programFiles = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
      $kept = Join-Path $programFiles 'Quillmend'
      New-Item -ItemType Directory -Force $kept | Out-Null
      Remove-Item -Recurse -Force -LiteralPath "$kept\LicenseFile" -ErrorAction SilentlyContinue
      $kept
    }
    Copy-Item -ToSession $session -Recurse -Force -Path "$Source\*" -Destination $kept
    $json = Invoke-Command -Session $session {
      Start-Process "$using:kept\Quillmend.exe" -ArgumentList '/quiet', '/log', '/json', '/allusers' -Wait | Out-Null
      Get-Content "$env:ProgramData\Quillmend\last.json" -Raw -Encoding UTF8
    }
    Remove-PSSession $session
    [IO.File]::WriteAllText((Join-Path $PWD "$computer.json"), $json)
    $record = $json | ConvertFrom-Json
    [pscustomobject]@{ Computer = $computer; ExitCode = $record.exitCode; Outcome = $record.box.text }
  } catch {
    [pscustomobject]@{ Computer = $computer; ExitCode = $null; Outcome = $_.Exception.Message }
  }
}
$results | Format-Table -AutoSize
