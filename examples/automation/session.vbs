' session.vbs SERVER USER PASSWORD [FILE]
' RyInet.Session from VBScript (cscript session.vbs ...): connects, shows the current
' directory and the listing, fetches FILE (when given) into the current directory, and
' shows how a refusal reads. Register the server first: ryinet-automation.exe /regserver
' (or /regserverperuser, which needs no administrator).
Option Explicit
Dim args, s, records, r, kind, bytes, shell, here
Set args = WScript.Arguments
If args.Count < 3 Then
    WScript.Echo "usage: cscript session.vbs SERVER USER PASSWORD [FILE]"
    WScript.Quit 2
End If

Set s = CreateObject("RyInet.Session")
' Failures come back as errors with the DLL's text and the server's reply; no boxes.
s.ShowBoxes = False
s.Connect args(0), args(1), args(2)           ' passive, which works behind a NAT; add False for active
WScript.Echo "Connected to " & args(0) & " (names in " & IIf(s.Utf8, "UTF-8", "the ANSI code page") & ")"
WScript.Echo "Current directory: " & s.CurrentDirectory

records = s.List()
For Each r In records
    If r(1) Then kind = "<DIR>" Else kind = CStr(r(3))
    WScript.Echo "  " & Left(r(0) & Space(24), 24) & " " & Right(Space(10) & kind, 10) & "  " & r(2)
Next

If args.Count > 3 Then
    Set shell = CreateObject("WScript.Shell")
    here = shell.CurrentDirectory
    bytes = s.GetFile(args(3), here & "\" & args(3))
    WScript.Echo "Fetched " & args(3) & ": " & bytes & " bytes"
End If

On Error Resume Next
s.Delete "no-such-file.txt"
If Err.Number <> 0 Then WScript.Echo "Delete refused (0x" & Hex(Err.Number) & "): " & Replace(Err.Description, vbCrLf, " / ")
On Error GoTo 0

s.Close

Function IIf(condition, yes, no)
    If condition Then IIf = yes Else IIf = no
End Function
