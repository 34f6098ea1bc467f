# session.ps1: RyInet.Session from PowerShell, 64-bit or 32-bit.
#   .\session.ps1 -Server ftp.example.com -User me -Password secret [-Passive]
param([Parameter(Mandatory)] [string] $Server, [string] $User = "anonymous",
      [string] $Password = "guest@", [switch] $Passive)

$session = New-Object -ComObject RyInet.Session
try {
    $session.ShowBoxes = $false          # errors instead of boxes: this is a console
    $session.Connect($Server, $User, $Password, [bool]$Passive)
    "Current directory: " + $session.CurrentDirectory
    foreach ($record in $session.List()) {
        # Each record is (Name, IsDirectory, Modified, Size).
        $size = if ($record[1]) { "<DIR>" } else { $record[3] }
        "{0,-30} {1,10} {2}" -f $record[0], $size, $record[2]
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
