' progress.vbs SERVER USER PASSWORD FILE
' A long GetFile that shows how it moves, through the session's Progress event:
' WScript.CreateObject with the prefix "ry_" connects the Subs named ry_EVENT. Typing q
' and Enter is not possible in cscript, so this one cancels after 60 seconds instead:
' setting cancel to True ends the transfer, the call fails with "cancelled", and the
' local file is left as it was. A transfer that breaks off is tried again (Retries) from
' the byte it had, and ry_Retrying says so.
Option Explicit
Dim args, s, started, bytes
Set args = WScript.Arguments
If args.Count < 4 Then
    WScript.Echo "usage: cscript progress.vbs SERVER USER PASSWORD FILE"
    WScript.Quit 2
End If

' Wine's script host connects no events (its CreateObject refuses a prefix): the
' transfer then runs without them.
On Error Resume Next
Set s = WScript.CreateObject("RyInet.Session", "ry_")
If Err.Number <> 0 Then
    Err.Clear
    Set s = CreateObject("RyInet.Session")
    WScript.Echo "This script host delivers no events: no progress will show."
End If
On Error GoTo 0

s.ShowBoxes = False
s.StallSeconds = 60                    ' a server that stops sending for a minute ends the call
s.Retries = 5                          ' the default: pauses of 1, 2, 4, 8, 16 s between attempts
s.Connect args(0), args(1), args(2)
started = Timer
bytes = s.GetFile(args(3), CreateObject("WScript.Shell").CurrentDirectory & "\" & args(3))
WScript.Echo "Fetched " & bytes & " bytes in " & FormatNumber(Timer - started, 1) & " s"
s.Close

' done and total are Doubles (a file may pass 2 GB); total is -1 when the server did not
' say the size. A few events a second arrive, and one when the last byte has come.
Sub ry_Progress(done, total, cancel)
    If total > 0 Then
        WScript.StdOut.Write vbCr & FormatNumber(100 * done / total, 0) & "% of " & total & " bytes   "
    Else
        WScript.StdOut.Write vbCr & done & " bytes   "
    End If
    If Timer - started > 60 Then cancel = True
End Sub

' Before each pause: attempt 1 is the first try again; the next Progress goes on from where
' the transfer broke.
Sub ry_Retrying(attempt, reason)
    WScript.StdOut.WriteLine vbCrLf & "Trying again (attempt " & attempt & "): " & reason
End Sub
