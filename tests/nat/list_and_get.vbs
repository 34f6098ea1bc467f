' list_and_get.vbs ADDR WORKDIR OUTFILE
' RyInet.Session behind a NAT, connected by default: lists, then fetches readme.txt into
' WORKDIR. Each result is a line of OUTFILE (UTF-16): in a network namespace, Wine's
' cscript shows nothing of what a script echoes.
Option Explicit
Dim args, fso, out, s, r
Set args = WScript.Arguments
Set fso = CreateObject("Scripting.FileSystemObject")
Set out = fso.CreateTextFile(args(2), True, True)
Set s = CreateObject("RyInet.Session")
s.ShowBoxes = False
s.Connect args(0), "ryuser", "rypass"
For Each r In s.List()
    out.WriteLine "entry " & r(0) & " " & r(3)
Next
out.WriteLine "got " & s.GetFile("readme.txt", args(1) & "\readme.txt")
s.Close
out.Close
