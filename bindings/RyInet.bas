Attribute VB_Name = "RyInet"
' RyInet.bas - RYINET.dll for Visual Basic 6 and 32-bit VBA (File > Import File...).
'
' A form lists a remote directory like this (RYINET.dll beside the .exe, or for VBA
' on the PATH; keep WININET loaded while you hold its handles, and pass the form's
' window so the library's boxes are modal to it):
'
'     Private Declare Function LoadLibrary Lib "kernel32" Alias "LoadLibraryA" (ByVal fileName As String) As Long
'     Private Declare Function FreeLibrary Lib "kernel32" (ByVal module As Long) As Long
'
'     Dim wininet As Long, session As Long, ftp As Long, listing As String
'     Dim entries() As RyListingEntry, count As Long, i As Long
'     wininet = LoadLibrary("wininet.dll")
'     session = RyINetOpen(Me.hWnd)
'     ftp = RyFtpConnect(session, 0, Me.hWnd, "ftp.example.com", "user", "secret")
'     listing = RyListingBuffer(1000)                  ' up to 1000 entries
'     If ftp <> 0 Then
'         If RyFtpDir(ftp, Me.hWnd, "*", 0, listing) = 0 Then
'             If RyReadListing(listing, entries, count) Then
'                 For i = 0 To count - 1
'                     List1.AddItem RyUtf8Name(entries(i).EntryName)
'                 Next
'             End If
'         End If
'     End If
'     RyINetClose ftp, Me.hWnd                         ' connections before their session
'     RyINetClose session, Me.hWnd
'     FreeLibrary wininet
'
' Every argument is ByVal: VB passes by reference unless told, which would hand the
' library the address of a variable. A ByVal String goes out as an ANSI text and comes
' back with what the library wrote, so a result buffer must already have its full size
' (the helpers below make them); vbNullString passes no text at all, as for RyFtpDir's
' pattern (the current directory) or RyGetIp's unused host name. Handles are Long, and
' so are windows: RYINET.dll is 32-bit, so 64-bit Office cannot load it (no PtrSafe).
' A listing's names are the bytes the server sent, UTF-8 from nearly every server
' today: RyUtf8Name makes them text.
Option Explicit

Public Const RYINET_LISTING_ENTRY_BYTES As Long = 290   ' RyFtpDir: one listing record at most
Public Const RYINET_PHONEBOOK_ENTRY_BYTES As Long = 257 ' RyRasEnumE: one entry name and its ";"
Public Const RYINET_CREDENTIAL_BYTES As Long = 257      ' RdlParms: the user name, and the password
Public Const RYINET_CURDIR_BYTES As Long = 260          ' RyFtpCurDir: the remote directory
Public Const RYINET_ADDRESS_BYTES As Long = 16          ' RyGetIp: a dotted IPv4 address

' Dial-up networking (the default phonebook)
Public Declare Function RdlParms Lib "RYINET.dll" (ByVal entry As String, _
    ByVal userName As String, ByVal password As String) As Long
Public Declare Function RyRasDial Lib "RYINET.dll" (ByVal hwndIgnored As Long, _
    ByVal entry As String, ByVal userName As String, ByVal password As String) As Long
Public Declare Function RyRasEnumE Lib "RYINET.dll" (ByVal ignored As Long, ByVal names As String) As Long

' Connectivity
Public Declare Function RyINetConn Lib "RYINET.dll" () As Long
Public Declare Function RyGetIp Lib "RYINET.dll" (ByVal address As String, ByVal hostName As String) As Long

' FTP client
Public Declare Function RyINetOpen Lib "RYINET.dll" (ByVal hwndOwner As Long) As Long
Public Declare Function RyINetClose Lib "RYINET.dll" (ByVal handle As Long, ByVal hwndOwner As Long) As Long
Public Declare Function RyFtpConnect Lib "RYINET.dll" (ByVal session As Long, ByVal ignored As Long, _
    ByVal hwndOwner As Long, ByVal server As String, ByVal userName As String, _
    ByVal password As String) As Long
Public Declare Function RyFtpDir Lib "RYINET.dll" (ByVal connection As Long, ByVal hwndOwner As Long, _
    ByVal pattern As String, ByVal ignored As Long, ByVal listing As String) As Long
Public Declare Function RyFSetDir Lib "RYINET.dll" (ByVal connection As Long, ByVal ignored As Long, _
    ByVal directory As String) As Long
Public Declare Function RyFtpCurDir Lib "RYINET.dll" (ByVal connection As Long, ByVal hwndOwner As Long, _
    ByVal directory As String) As Long
Public Declare Function RyFDelFile Lib "RYINET.dll" (ByVal connection As Long, ByVal hwndOwner As Long, _
    ByVal fileName As String) As Long
Public Declare Function RyFRenFile Lib "RYINET.dll" (ByVal connection As Long, ByVal hwndOwner As Long, _
    ByVal existingName As String, ByVal newName As String) As Long
Public Declare Function RyFtpMd Lib "RYINET.dll" (ByVal connection As Long, ByVal hwndOwner As Long, _
    ByVal directory As String) As Long
Public Declare Function RyFtpRd Lib "RYINET.dll" (ByVal connection As Long, ByVal hwndOwner As Long, _
    ByVal directory As String) As Long
' The owner window comes first here.
Public Declare Function RyFtpOpenFile Lib "RYINET.dll" (ByVal hwndOwner As Long, _
    ByVal connection As Long, ByVal fileName As String) As Long
' Under Wine, WININET keeps a copy of every file read through RyFtpOpenFile in the
' user's URL cache (INetCache) and never removes it: a reader asks for the copy's name
' while the handle is open and deletes it once the handle is closed, or the disk fills.
'     Private Declare Function InternetQueryOption Lib "wininet" Alias "InternetQueryOptionA" _
'         (ByVal hInternet As Long, ByVal opt As Long, ByVal buffer As String, ByRef size As Long) As Long
'     Private Declare Function DeleteFile Lib "kernel32" Alias "DeleteFileA" (ByVal path As String) As Long
'     Const INTERNET_OPTION_DATAFILE_NAME = 33
'     Dim copy As String, size As Long, cached As Boolean
'     copy = String$(260, 0): size = 260
'     ' ... InternetReadFile until it gives 0 bytes ...
'     cached = InternetQueryOption(file, INTERNET_OPTION_DATAFILE_NAME, copy, size) <> 0
'     RyINetClose file, hwnd
'     If cached Then DeleteFile Left$(copy, size)

' For RyUtf8Name: UTF-8 bytes into a String's UTF-16.
Private Const CP_UTF8 As Long = 65001
Private Declare Function MultiByteToWideChar Lib "kernel32" (ByVal codePage As Long, _
    ByVal flags As Long, ByVal multiByteStr As Long, ByVal multiByteCount As Long, _
    ByVal wideCharStr As Long, ByVal wideCharCount As Long) As Long

Public Type RyListingEntry
    EntryName As String     ' without the " [ ] " of a directory
    IsDirectory As Boolean
    Month As Long           ' the date fields are all 0 for a time outside the calendar
    Day As Long
    Year As Long
    Hour As Long
    Minute As Long
    Size As Double          ' low 32 bits of the size, 0 to 4294967295; 0 for a directory
End Type

' Result buffers for RyFtpDir and RyRasEnumE: room for entries records, plus one.
Public Function RyListingBuffer(ByVal entries As Long) As String
    RyListingBuffer = String$(entries * RYINET_LISTING_ENTRY_BYTES + 1, vbNullChar)
End Function

Public Function RyPhonebookBuffer(ByVal entries As Long) As String
    RyPhonebookBuffer = String$(entries * RYINET_PHONEBOOK_ENTRY_BYTES + 1, vbNullChar)
End Function

' A result up to its terminator.
Public Function RyCutAtTerminator(ByVal buffer As String) As String
    Dim at As Long
    at = InStr(buffer, vbNullChar)
    If at > 0 Then RyCutAtTerminator = Left$(buffer, at - 1) Else RyCutAtTerminator = buffer
End Function

' The length of ";MM/DD/YYYY  hh:mm;size|" at position p of text, or 0, with the date
' and size put in e. The year has 4 or 5 digits; the size is "<DIR>" or up to 10 digits.
Private Function RecordEnd(ByRef text As String, ByVal p As Long, ByRef e As RyListingEntry, _
        ByRef directory As Boolean) As Long
    Dim q As Long, yearDigits As Long, digits As Long, negative As Boolean
    If Not Mid$(text, p, 11) Like ";##/##/####" Then Exit Function
    yearDigits = 4
    If Mid$(text, p + 11, 1) Like "#" Then yearDigits = 5
    q = p + 7 + yearDigits
    If Not Mid$(text, q, 8) Like "  ##:##;" Then Exit Function
    e.Month = CLng(Mid$(text, p + 1, 2))
    e.Day = CLng(Mid$(text, p + 4, 2))
    e.Year = CLng(Mid$(text, p + 7, yearDigits))
    e.Hour = CLng(Mid$(text, q + 2, 2))
    e.Minute = CLng(Mid$(text, q + 5, 2))
    q = q + 8
    directory = Mid$(text, q, 5) = "<DIR>"
    If directory Then
        e.Size = 0
        q = q + 5
    Else
        negative = Mid$(text, q, 1) = "-"
        If negative Then q = q + 1
        Do While Mid$(text, q + digits, 1) Like "#" And digits <= 10
            digits = digits + 1
        Loop
        If digits = 0 Or digits > 10 Then Exit Function
        ' "%d" of the low 32 bits: a negative text is the same bits read as unsigned.
        e.Size = CDbl(Mid$(text, q, digits))
        e.Size = e.Size - Int(e.Size / 4294967296#) * 4294967296#
        If negative And e.Size > 0 Then e.Size = 4294967296# - e.Size
        q = q + digits
    End If
    If Mid$(text, q, 1) = "|" Then RecordEnd = q + 1 - p
End Function

' The records of RyFtpDir's listing, into entries(0 To count - 1). Names are not
' escaped, so a record ends at the first ";MM/DD/YYYY  hh:mm;size|" after its start (a
' "<DIR>" one only after a " [ name ] "), as ryinet_listing.h reads them. False when
' the text ends in something that is not a record; entries then holds the records
' before it.
Public Function RyReadListing(ByVal listing As String, ByRef entries() As RyListingEntry, _
        ByRef count As Long) As Boolean
    Dim start As Long, p As Long, length As Long, nameLength As Long
    Dim directory As Boolean, e As RyListingEntry
    listing = RyCutAtTerminator(listing)
    count = 0
    Erase entries
    start = 1
    Do While start <= Len(listing)
        length = 0
        p = InStr(start, listing, ";")
        Do While p > 0
            length = RecordEnd(listing, p, e, directory)
            nameLength = p - start
            If length > 0 And Not directory Then
                e.EntryName = Mid$(listing, start, nameLength)
                Exit Do
            End If
            ' A directory's name field is " [ name ] "; "<DIR>" after any other name is
            ' part of a longer name.
            If length > 0 And nameLength >= 6 Then
                If Mid$(listing, start, 3) = " [ " And Mid$(listing, p - 3, 3) = " ] " Then
                    e.EntryName = Mid$(listing, start + 3, nameLength - 6)
                    Exit Do
                End If
            End If
            length = 0
            p = InStr(p + 1, listing, ";")
        Loop
        If length = 0 Then Exit Function
        e.IsDirectory = directory
        ReDim Preserve entries(0 To count)
        entries(count) = e
        count = count + 1
        start = p + length
    Loop
    RyReadListing = True
End Function

' A listing name (EntryName) as text. A server that announces UTF8 in its FEAT reply
' (nearly all today) sends names in UTF-8; an older one sends them in the ANSI code
' page, which is how EntryName reads already. VB turned the listing's bytes into
' characters through the ANSI code page, and StrConv turns them back: exact in a
' single-byte code page, not in a double-byte one (Chinese, Japanese, Korean), where
' some UTF-8 bytes were lost on the way. MultiByteToWideChar gets pointers (ByVal Long),
' as a String argument would go through the ANSI code page once more.
Public Function RyUtf8Name(ByVal entryName As String) As String
    Dim bytes() As Byte, count As Long, length As Long, text As String
    If Len(entryName) = 0 Then Exit Function
    bytes = StrConv(entryName, vbFromUnicode)
    count = UBound(bytes) + 1
    length = MultiByteToWideChar(CP_UTF8, 0, VarPtr(bytes(0)), count, 0, 0)
    text = String$(length, vbNullChar)
    MultiByteToWideChar CP_UTF8, 0, VarPtr(bytes(0)), count, StrPtr(text), length
    RyUtf8Name = text
End Function

' The entry names of RyRasEnumE's "Office;Home;", into names(0 To count - 1); returns count.
Public Function RyPhonebookNames(ByVal buffer As String, ByRef names() As String) As Long
    Dim parts() As String, i As Long
    buffer = RyCutAtTerminator(buffer)
    Erase names
    If Len(buffer) = 0 Then Exit Function
    parts = Split(Left$(buffer, Len(buffer) - 1), ";")  ' each name ends in ";"
    ReDim names(0 To UBound(parts))
    For i = 0 To UBound(parts)
        names(i) = parts(i)
    Next
    RyPhonebookNames = UBound(parts) + 1
End Function
