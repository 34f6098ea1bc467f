Attribute VB_Name = "RyInetEarlyBound"
' RyInet.Session from VBA, early bound: Tools > References > Browse... > the type library
' ryinet_automation.tlb beside ryinet-automation.exe (it shows as "RYINET automation").
' The editor then completes the members and checks their types; 64-bit Office included.
Option Explicit

Public Sub FetchFile()
    Dim s As RyInetAutomation.Session
    Set s = New RyInetAutomation.Session
    s.OwnerWindow = Application.Hwnd        ' LongLong: a 64-bit window handle fits
    s.Connect "ftp.example.com", "me", "secret"
    Dim bytes As Double
    bytes = s.GetFile("report.pdf", Environ$("TEMP") & "\report.pdf")
    Debug.Print "Fetched "; bytes; " bytes from "; s.CurrentDirectory
    s.Close
End Sub
