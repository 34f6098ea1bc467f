' faults_test.vbs ADDR WORKDIR OUTFILE
' RyInet.Session against a server whose transfers break off or stall: what a script is
' left with. Each result is a line of OUTFILE (UTF-16), which the test compares: Wine's
' cscript exits 0 even when a script fails.
Option Explicit
Dim args, fso, out, s, started, kept, bytes
Set args = WScript.Arguments
Set fso = CreateObject("Scripting.FileSystemObject")
Set out = fso.CreateTextFile(args(2), True, True)

Sub Report(what)
    out.WriteLine what & " " & Hex(Err.Number) & " " & Replace(Err.Description, vbCrLf, " / ")
    Err.Clear
End Sub

Set s = CreateObject("RyInet.Session")
s.ShowBoxes = False
s.StallSeconds = 5
s.Retries = 0  ' what one attempt leaves: the hostile server breaks every one the same way
s.Connect args(0), "ryuser", "rypass"

On Error Resume Next
' 300 bytes, then the server says 426: the user's file stays as it was.
kept = args(1) & "\kept.txt"
s.GetFile "nosize_a", kept
Report "broken"

' 100 of 1000 bytes, then silence on an open data connection.
started = Timer
s.GetFile "endless", args(1) & "\endless.bin"
Report "stalled " & FormatNumber(Timer - started, 1, True, False, False)
s.List
Report "after"

' The script goes on: a new connection works.
s.Connect args(0), "ryuser", "rypass"
bytes = s.GetFile("good.txt", args(1) & "\good.txt")
Report "again " & bytes
s.Close
out.WriteLine "done"
out.Close
