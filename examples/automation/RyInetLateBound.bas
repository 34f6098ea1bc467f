Attribute VB_Name = "RyInetLateBound"
' RyInet.Session from VBA, late bound: no reference to set, runs in 32-bit and 64-bit
' Office alike (64-bit Office cannot Declare the 32-bit RYINET.DLL; this goes through
' the automation server, ryinet-automation.exe, registered with /regserver).
Option Explicit

Public Sub ListServer()
    Dim s As Object, records As Variant, r As Variant
    Set s = CreateObject("RyInet.Session")
    ' Boxes owned by Office's window, modal to it; or s.ShowBoxes = False for errors alone.
    s.OwnerWindow = Application.Hwnd        ' Excel; Access: Application.hWndAccessApp
    s.Connect "ftp.example.com", "me", "secret", True   ' passive behind a NAT
    Debug.Print "Current directory: "; s.CurrentDirectory
    records = s.List()
    Dim i As Long
    For i = LBound(records) To UBound(records)
        r = records(i)
        Debug.Print r(0), IIf(r(1), "<DIR>", r(3)), r(2)
    Next i
    Debug.Print s.GetFile("readme.txt", Environ$("TEMP") & "\readme.txt"); " bytes"

    On Error Resume Next
    s.Delete "no-such-file.txt"
    If Err.Number <> 0 Then Debug.Print "Refused: "; Err.Description
    On Error GoTo 0
    s.Close
End Sub
