# PowerShell remoting fan-out for Quillmend (Windows PowerShell 5.1; WinRM enabled on the
# targets). From an administrator's machine: copies the folder to each computer, runs the tool
# there, and collects each exit code and log (<computer>.log in the current folder).
# -Computers: a file with one computer name a line. -Source: the folder holding Quillmend.exe
# and LicenseFile.
param([string]$Computers = '.\computers.txt', [string]$Source = '.\Quillmend')

$target = 'C:\Windows\Temp\Quillmend'
$results = foreach ($computer in Get-Content $Computers) {
  try {
    $session = New-PSSession -ComputerName $computer -ErrorAction Stop
    Invoke-Command -Session $session { New-Item -ItemType Directory -Force $using:target | Out-Null }
    Copy-Item -ToSession $session -Recurse -Force -Path "$Source\*" -Destination $target
    Invoke-Command -Session $session {
      $p = Start-Process "$using:target\Quillmend.exe" -ArgumentList '/quiet', '/log', '/allusers' -Wait -PassThru
      [pscustomobject]@{ Computer = $env:COMPUTERNAME; ExitCode = $p.ExitCode
        Log = Get-Content "$env:ProgramData\Quillmend\Quillmend.log" -Encoding UTF8 -Raw }
    }
    Remove-PSSession $session
  } catch {
    [pscustomobject]@{ Computer = $computer; ExitCode = $null; Log = $_.Exception.Message }
  }
}
$results | Select-Object Computer, ExitCode | Format-Table
foreach ($r in $results) { Set-Content -Path ".\$($r.Computer).log" -Value $r.Log -Encoding UTF8 }
