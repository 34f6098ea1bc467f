# session.ps1: RyInet.Session from PowerShell, 64-bit or 32-bit.
#   .\session.ps1 -Server ftp.example.com -User me -Password secret [-Active] [-File NAME]
param([Parameter(Mandatory)] [string] $Server, [string] $User = "anonymous",
      [string] $Password = "guest@", [switch] $Active, [string] $File)

$session = New-Object -ComObject RyInet.Session
try {
    $session.ShowBoxes = $false          # errors instead of boxes: this is a console
    $session.Connect($Server, $User, $Password, -not $Active)   # passive unless -Active
    "Current directory: " + $session.CurrentDirectory
    foreach ($record in $session.List()) {
        # Each record is (Name, IsDirectory, Modified, Size).
        $size = if ($record[1]) { "<DIR>" } else { $record[3] }
        "{0,-30} {1,10} {2}" -f $record[0], $size, $record[2]
    }
    if ($File) {
        # Progress events: PowerShell runs the action as its engine gets to it, so it
        # shows how the transfer went rather than stopping it (cancel is for handlers
        # that run at once: VBA, C#, a script host's).
        $progress = Register-ObjectEvent -InputObject $session -EventName Progress -Action {
            $done, $total = $Event.SourceArgs[0], $Event.SourceArgs[1]
            if ($total -gt 0) { Write-Progress -Activity "Fetching" -PercentComplete (100 * $done / $total) }
        }
        try {
            $bytes = $session.GetFile($File, (Join-Path (Get-Location) $File))
            "Fetched $File`: $bytes bytes"
        } finally {
            Unregister-Event -SourceIdentifier $progress.Name
        }
    }
    try {
        $session.Delete("no-such-file.txt")
    } catch [System.Runtime.InteropServices.COMException] {
        # The DLL's text ("Unable to delete file.") and the server's reply.
        "Refused: " + $_.Exception.Message
    }
} finally {
    $session.Close()
    [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($session)
}
