{ ryinet.pas - RYINET.dll for Delphi and Free Pascal (32-bit Windows only).

  A host lists a remote directory like this (keep WININET loaded while you hold its
  handles, and pass your main window so the library's boxes are modal to it):

    uses Windows, ryinet;
    var
      Wininet: HMODULE;
      Session, Ftp: DWORD;
      Listing: AnsiString;
      Entries: TRyListingEntries;
      I: Integer;
    begin
      Wininet := LoadLibrary('wininet.dll');
      Session := RyINetOpen(Handle);
      Ftp := RyFtpConnect(Session, 0, Handle, 'ftp.example.com', 'user', 'secret');
      Listing := RyListingBuffer(1000);               // up to 1000 entries
      if (Ftp <> 0) and (RyFtpDir(Ftp, Handle, '*', 0, PAnsiChar(Listing)) = 0) and
         RyReadListing(Listing, Entries) then
        for I := 0 to High(Entries) do
          Memo1.Lines.Add(RyUtf8Name(Entries[I].Name));
      RyINetClose(Ftp, Handle);                       // connections before their session
      RyINetClose(Session, Handle);
      FreeLibrary(Wininet);
    end;

  Every export is stdcall and takes 32-bit arguments only; texts are PAnsiChar, also in
  Unicode Delphi (2009 and later), where string is UnicodeString: pass AnsiString
  buffers or literals. A listing's names are the bytes the server sent, UTF-8 from
  nearly every server today: RyUtf8Name makes them text. A result buffer's size is never passed: make it with the helpers
  below, or give it the sizes these constants name. Free Pascal needs -Twin32 -Pi386. }
unit ryinet;

{$IFDEF FPC}{$mode delphi}{$ENDIF}

interface

uses Windows;

const
  RYINET_LISTING_ENTRY_BYTES   = 290; { RyFtpDir: one listing record at most }
  RYINET_PHONEBOOK_ENTRY_BYTES = 257; { RyRasEnumE: one entry name and its ';' }
  RYINET_CREDENTIAL_BYTES      = 257; { RdlParms: the user name, and the password }
  RYINET_CURDIR_BYTES          = 260; { RyFtpCurDir: the remote directory }
  RYINET_ADDRESS_BYTES         = 16;  { RyGetIp: a dotted IPv4 address }

{ Dial-up networking (the default phonebook) }
function RdlParms(entry, userName, password: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RdlParms';
function RyRasDial(hwndIgnored: HWND; entry, userName, password: PAnsiChar): DWORD;
  stdcall; external 'RYINET.dll' name 'RyRasDial';
function RyRasEnumE(ignored: DWORD; names: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyRasEnumE';

{ Connectivity }
function RyINetConn: LongInt;
  stdcall; external 'RYINET.dll' name 'RyINetConn';
function RyGetIp(address, hostName: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyGetIp';

{ FTP client }
function RyINetOpen(hwndOwner: HWND): DWORD;
  stdcall; external 'RYINET.dll' name 'RyINetOpen';
function RyINetClose(handle: DWORD; hwndOwner: HWND): LongInt;
  stdcall; external 'RYINET.dll' name 'RyINetClose';
function RyFtpConnect(session, ignored: DWORD; hwndOwner: HWND;
  server, userName, password: PAnsiChar): DWORD;
  stdcall; external 'RYINET.dll' name 'RyFtpConnect';
function RyFtpDir(connection: DWORD; hwndOwner: HWND; pattern: PAnsiChar;
  ignored: DWORD; listing: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFtpDir';
function RyFSetDir(connection, ignored: DWORD; directory: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFSetDir';
function RyFtpCurDir(connection: DWORD; hwndOwner: HWND; directory: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFtpCurDir';
function RyFDelFile(connection: DWORD; hwndOwner: HWND; fileName: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFDelFile';
function RyFRenFile(connection: DWORD; hwndOwner: HWND; existingName, newName: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFRenFile';
function RyFtpMd(connection: DWORD; hwndOwner: HWND; directory: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFtpMd';
function RyFtpRd(connection: DWORD; hwndOwner: HWND; directory: PAnsiChar): LongInt;
  stdcall; external 'RYINET.dll' name 'RyFtpRd';
{ The owner window comes first here. }
function RyFtpOpenFile(hwndOwner: HWND; connection: DWORD; fileName: PAnsiChar): DWORD;
  stdcall; external 'RYINET.dll' name 'RyFtpOpenFile';
{ Under Wine, WININET keeps a copy of every file read through RyFtpOpenFile in the
  user's URL cache (INetCache) and never removes it: a reader asks for the copy's name
  while the handle is open and deletes it once the handle is closed, or the disk fills
  (InternetQueryOptionW and DeleteFileW of the WinInet and Windows units):
    Size := SizeOf(Copy);  // Copy: array[0..MAX_PATH] of WideChar
    // ... InternetReadFile until it gives 0 bytes ...
    Cached := InternetQueryOptionW(Pointer(F), INTERNET_OPTION_DATAFILE_NAME, @Copy, Size);
    RyINetClose(F, Owner);
    if Cached then DeleteFileW(Copy); }

type
  TRyListingEntry = record
    Name: AnsiString;        { without the ' [ ] ' of a directory }
    IsDirectory: Boolean;
    Month, Day, Year, Hour, Minute: Cardinal; { all 0 for a time outside the calendar }
    Size: Cardinal;          { low 32 bits of the size; 0 for a directory }
  end;
  TRyListingEntries = array of TRyListingEntry;
  TRyNames = array of AnsiString;

{ Zero-filled result buffers for RyFtpDir and RyRasEnumE: Entries records, plus one. }
function RyListingBuffer(Entries: Integer): AnsiString;
function RyPhonebookBuffer(Entries: Integer): AnsiString;
{ A result up to its terminator. }
function RyCutAtTerminator(const Buffer: AnsiString): AnsiString;
{ The records of RyFtpDir's listing. Names are not escaped, so each record ends at the
  first ';MM/DD/YYYY  hh:mm;size|' after its start (a '<DIR>' one only after a
  ' [ name ] '), as ryinet_listing.h reads them. False when the text ends in something
  that is not a record; Entries then holds the records before it. }
function RyReadListing(const Listing: AnsiString; out Entries: TRyListingEntries): Boolean;
{ A listing name as text. A server that announces UTF8 in its FEAT reply (nearly all
  today) sends names in UTF-8; an older one sends them in the ANSI code page, which
  string(Name) reads. Bytes that are not UTF-8 come out as '?' (Free Pascal) or U+FFFD
  (Delphi): keep Name to name such a file to the server. Delphi before 2009 has no
  UTF8ToString, and goes without. }
{$IF Declared(UTF8ToString)}
function RyUtf8Name(const Name: AnsiString): UnicodeString;
{$IFEND}
{ The entry names of RyRasEnumE's 'Office;Home;'. }
function RyPhonebookNames(const Names: AnsiString): TRyNames;

implementation

function ZeroFilled(Size: Integer): AnsiString;
begin
  SetLength(Result, Size);
  FillChar(Pointer(Result)^, Size, 0);
end;

function RyListingBuffer(Entries: Integer): AnsiString;
begin
  Result := ZeroFilled(Entries * RYINET_LISTING_ENTRY_BYTES + 1);
end;

function RyPhonebookBuffer(Entries: Integer): AnsiString;
begin
  Result := ZeroFilled(Entries * RYINET_PHONEBOOK_ENTRY_BYTES + 1);
end;

function RyCutAtTerminator(const Buffer: AnsiString): AnsiString;
var
  At: Integer;
begin
  At := Pos(#0, Buffer);
  if At = 0 then Result := Buffer else Result := Copy(Buffer, 1, At - 1);
end;

{ Reads Count digits of S at P; False unless they all are digits. }
function Digits(const S: AnsiString; P, Count: Integer; out Value: Cardinal): Boolean;
var
  I: Integer;
begin
  Value := 0;
  Result := P + Count - 1 <= Length(S);
  for I := P to P + Count - 1 do
    if Result and (S[I] in ['0'..'9']) then
      Value := Value * 10 + Cardinal(Ord(S[I]) - Ord('0'))
    else
      Result := False;
end;

function CharAt(const S: AnsiString; P: Integer): AnsiChar;
begin
  if (P >= 1) and (P <= Length(S)) then Result := S[P] else Result := #0;
end;

{ The length of ';MM/DD/YYYY  hh:mm;size|' at P (a ';'), or 0; fills E's date and size
  and tells whether the size is '<DIR>'. The year has 4 or 5 digits, a size up to 10. }
function RecordEnd(const S: AnsiString; P: Integer; var E: TRyListingEntry;
  out Directory: Boolean): Integer;
var
  Q, YearDigits, SizeDigits: Integer;
  Negative: Boolean;
  Value: Int64;
begin
  Result := 0;
  Directory := False;
  if not (Digits(S, P + 1, 2, E.Month) and (CharAt(S, P + 3) = '/') and
          Digits(S, P + 4, 2, E.Day) and (CharAt(S, P + 6) = '/')) then Exit;
  Q := P + 7;
  YearDigits := 0;
  while (YearDigits < 6) and (CharAt(S, Q + YearDigits) in ['0'..'9']) do Inc(YearDigits);
  if (YearDigits < 4) or (YearDigits > 5) then Exit;
  Digits(S, Q, YearDigits, E.Year);
  Q := Q + YearDigits;
  if not ((CharAt(S, Q) = ' ') and (CharAt(S, Q + 1) = ' ') and Digits(S, Q + 2, 2, E.Hour) and
          (CharAt(S, Q + 4) = ':') and Digits(S, Q + 5, 2, E.Minute) and
          (CharAt(S, Q + 7) = ';')) then Exit;
  Q := Q + 8;
  if Copy(S, Q, 5) = '<DIR>' then
  begin
    Directory := True;
    E.Size := 0;
    Q := Q + 5;
  end
  else
  begin
    Negative := CharAt(S, Q) = '-';
    if Negative then Inc(Q);
    SizeDigits := 0;
    Value := 0;
    while (SizeDigits < 11) and (CharAt(S, Q + SizeDigits) in ['0'..'9']) do
    begin
      Value := Value * 10 + Ord(S[Q + SizeDigits]) - Ord('0');
      Inc(SizeDigits);
    end;
    if (SizeDigits = 0) or (SizeDigits > 10) then Exit;
    if Negative then Value := -Value;
    E.Size := Cardinal(Value and $FFFFFFFF); { '%d' of the low 32 bits, read back unsigned }
    Q := Q + SizeDigits;
  end;
  if CharAt(S, Q) = '|' then Result := Q + 1 - P;
end;

function RyReadListing(const Listing: AnsiString; out Entries: TRyListingEntries): Boolean;
var
  Text: AnsiString;
  Start, P, NameLength, RecordLength: Integer;
  Directory: Boolean;
  E: TRyListingEntry;
begin
  Text := RyCutAtTerminator(Listing);
  SetLength(Entries, 0);
  Start := 1;
  while Start <= Length(Text) do
  begin
    RecordLength := 0;
    P := Start - 1;
    while (RecordLength = 0) and (P < Length(Text)) do
    begin
      Inc(P);
      if Text[P] <> ';' then Continue;
      RecordLength := RecordEnd(Text, P, E, Directory);
      NameLength := P - Start;
      if RecordLength = 0 then Continue;
      if not Directory then
        E.Name := Copy(Text, Start, NameLength)
      { A directory's name field is ' [ name ] '; '<DIR>' after any other name is part
        of a longer name. }
      else if (NameLength >= 6) and (Copy(Text, Start, 3) = ' [ ') and (Copy(Text, P - 3, 3) = ' ] ') then
        E.Name := Copy(Text, Start + 3, NameLength - 6)
      else
        RecordLength := 0;
    end;
    if RecordLength = 0 then
    begin
      Result := False;
      Exit;
    end;
    E.IsDirectory := Directory;
    SetLength(Entries, Length(Entries) + 1);
    Entries[High(Entries)] := E;
    Start := P + RecordLength;
  end;
  Result := True;
end;

{$IF Declared(UTF8ToString)}
function RyUtf8Name(const Name: AnsiString): UnicodeString;
begin
  Result := UTF8ToString(Name); { a RawByteString argument: the bytes go in unconverted }
end;
{$IFEND}

function RyPhonebookNames(const Names: AnsiString): TRyNames;
var
  Text: AnsiString;
  Start, P: Integer;
begin
  Text := RyCutAtTerminator(Names);
  SetLength(Result, 0);
  Start := 1;
  for P := 1 to Length(Text) do
    if Text[P] = ';' then
    begin
      SetLength(Result, Length(Result) + 1);
      Result[High(Result)] := Copy(Text, Start, P - Start);
      Start := P + 1;
    end;
end;

end.
