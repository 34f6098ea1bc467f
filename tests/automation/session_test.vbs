' session_test.vbs ADDR REMOTE WORKDIR STORED OUTFILE
' RyInet.Session from VBScript: connects to ADDR, lists, gets REMOTE into WORKDIR, puts
' it back as STORED, reads a refusal's text, reads the phonebook and dials. Each result is a line of OUTFILE (UTF-16),
' which the test compares: Wine's cscript exits 0 even when a script fails.
Option Explicit
Dim args, fso, out, s, records, r, bytes, local, started, i, u, c, h
Set args = WScript.Arguments
Set fso = CreateObject("Scripting.FileSystemObject")
Set out = fso.CreateTextFile(args(4), True, True)

Set s = CreateObject("RyInet.Session")
s.ShowBoxes = False
s.Connect args(0), "ryuser", "rypass"
out.WriteLine "utf8 " & s.Utf8
records = s.List()
For Each r In records
    out.WriteLine "entry " & r(0) & "|" & r(1) & "|" & r(3)
Next

local = args(2) & "\" & args(1)
bytes = s.GetFile(args(1), local)
out.WriteLine "get " & bytes & " " & fso.GetFile(local).Size
bytes = s.PutFile(local, args(3))
out.WriteLine "put " & bytes

On Error Resume Next
s.Delete "no-such-file.txt"
out.WriteLine "error " & Hex(Err.Number) & " " & Replace(Err.Description, vbCrLf, " / ")
Err.Clear
On Error GoTo 0

' Dial-up, through the RAS stand-in beside the server, from the phonebook the test wrote.
u = ""
For Each r In s.Phonebook()  ' Wine's VBScript has no Join
    u = u & "," & r
Next
out.WriteLine "phonebook " & Mid(u, 2)
c = s.StoredCredentials("Office")
out.WriteLine "credentials " & c(0) & " " & c(1)
c = s.StoredCredentials("Nobody")
out.WriteLine "credentials of none [" & c(0) & "][" & c(1) & "]"
h = s.Dial("Office", "alice", "office-pw")
out.WriteLine "dialed " & (h <> 0)
s.HangUp h
On Error Resume Next
h = s.Dial("Office", "alice", "wrong")
out.WriteLine "wrong password " & Hex(Err.Number)
Err.Clear
On Error GoTo 0

started = Timer
For i = 1 To 100
    u = s.Utf8
Next
out.WriteLine "cost " & FormatNumber((Timer - started) * 1000 / 100, 2) & " ms"
s.Close
Set s = Nothing
out.WriteLine "done"
out.Close
