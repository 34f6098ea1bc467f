{ pascal_host SERVER APPDATA LISTING UTF8LISTING: one session through ryinet.pas against a real FTP server
  and the RAS stand-in's phonebook under APPDATA. For every call it prints
  'call NAME MOVED RESULT', MOVED being how many bytes the stack pointer moved across the
  call (a cdecl declaration or a wrong argument size moves it), and what the calls
  produced, for the test to compare with the served tree and the phonebook; then the
  records RyReadListing reads in the file LISTING, and the UTF-16 code units RyUtf8Name
  makes of each name in UTF8LISTING. }
program pascal_host;

{$mode delphi}{$asmmode intel}

uses Windows, ryinet;

function InternetReadFile(hFile: DWORD; Buffer: Pointer; ToRead: DWORD; var Read: DWORD): BOOL;
  stdcall; external 'wininet.dll' name 'InternetReadFile';
function InternetQueryOptionW(hInternet: DWORD; Option: DWORD; Buffer: Pointer; var Size: DWORD): BOOL;
  stdcall; external 'wininet.dll' name 'InternetQueryOptionW';
function RasHangUpA(Connection: DWORD): DWORD; stdcall; external 'rasapi32.dll' name 'RasHangUpA';

var
  Before, After: LongWord; { the stack pointer around a call }
  Session, Ftp, FileHandle, Dialed, Got, Total: DWORD;
  R: LongInt;
  Ip, Dir, Listing, Names, User, Password: AnsiString;
  Block: array[0..4095] of Byte;
  CacheCopy: array[0..MAX_PATH] of WideChar;
  CopySize: DWORD;
  Cached: Boolean;
  Phonebook: TRyNames;
  I: Integer;

{ Each call below is bracketed by asm that reads the stack pointer and then puts it
  back, so a wrong declaration is reported instead of corrupting the rest of the run. }
procedure Called(const Name: AnsiString; Result: Int64);
begin
  WriteLn('call ', Name, ' ', LongInt(After - Before), ' ', Result);
end;

function ReadFile(const Path: AnsiString): AnsiString;
var
  F: File;
begin
  Assign(F, Path);
  Reset(F, 1);
  SetLength(Result, FileSize(F));
  BlockRead(F, Pointer(Result)^, Length(Result));
  Close(F);
end;

procedure PrintRecords(const Prefix, Listing: AnsiString);
var
  E: TRyListingEntries;
  Whole: Boolean;
  I: Integer;
begin
  Whole := RyReadListing(Listing, E);
  for I := 0 to High(E) do
    WriteLn(Prefix, ' ', E[I].Name, '|', Ord(E[I].IsDirectory), '|', E[I].Month, '|', E[I].Day, '|',
            E[I].Year, '|', E[I].Hour, '|', E[I].Minute, '|', E[I].Size);
  WriteLn(Prefix, ' whole ', Ord(Whole));
end;

procedure PrintUtf8Names(const Listing: AnsiString);
var
  E: TRyListingEntries;
  Name: UnicodeString;
  I, J: Integer;
begin
  RyReadListing(Listing, E);
  for I := 0 to High(E) do
  begin
    Name := RyUtf8Name(E[I].Name);
    Write('utf8');
    for J := 1 to Length(Name) do
      Write(' ', HexStr(Ord(Name[J]), 4));
    WriteLn;
  end;
end;

begin
  SetEnvironmentVariableA('APPDATA', PAnsiChar(AnsiString(ParamStr(2))));

  asm mov Before, esp end; R := RyINetConn; asm mov After, esp; mov esp, Before end;
  Called('RyINetConn', R);
  Ip := StringOfChar(#0, RYINET_ADDRESS_BYTES);
  asm mov Before, esp end; R := RyGetIp(PAnsiChar(Ip), nil); asm mov After, esp; mov esp, Before end;
  Called('RyGetIp', R);
  WriteLn('address ', RyCutAtTerminator(Ip));

  asm mov Before, esp end; Session := RyINetOpen(0); asm mov After, esp; mov esp, Before end;
  Called('RyINetOpen', Session);
  asm mov Before, esp end;
  Ftp := RyFtpConnect(Session, 0, 0, PAnsiChar(AnsiString(ParamStr(1))), 'ryuser', 'rypass');
  asm mov After, esp; mov esp, Before end;
  Called('RyFtpConnect', Ftp);

  asm mov Before, esp end; R := RyFSetDir(Ftp, 0, 'pub'); asm mov After, esp; mov esp, Before end;
  Called('RyFSetDir', R);
  Dir := StringOfChar(#0, RYINET_CURDIR_BYTES);
  asm mov Before, esp end; R := RyFtpCurDir(Ftp, 0, PAnsiChar(Dir)); asm mov After, esp; mov esp, Before end;
  Called('RyFtpCurDir', R);
  WriteLn('directory ', RyCutAtTerminator(Dir));
  Listing := RyListingBuffer(100);
  asm mov Before, esp end; R := RyFtpDir(Ftp, 0, nil, 0, PAnsiChar(Listing)); asm mov After, esp; mov esp, Before end;
  Called('RyFtpDir', R);
  PrintRecords('entry', Listing);

  RyFSetDir(Ftp, 0, '/');
  asm mov Before, esp end; R := RyFtpMd(Ftp, 0, 'made'); asm mov After, esp; mov esp, Before end;
  Called('RyFtpMd', R);
  RyFtpMd(Ftp, 0, 'gone');
  asm mov Before, esp end; R := RyFtpRd(Ftp, 0, 'gone'); asm mov After, esp; mov esp, Before end;
  Called('RyFtpRd', R);
  asm mov Before, esp end; R := RyFRenFile(Ftp, 0, 'old.txt', 'renamed.txt'); asm mov After, esp; mov esp, Before end;
  Called('RyFRenFile', R);
  asm mov Before, esp end; R := RyFDelFile(Ftp, 0, 'victim.txt'); asm mov After, esp; mov esp, Before end;
  Called('RyFDelFile', R);
  asm mov Before, esp end; FileHandle := RyFtpOpenFile(0, Ftp, 'readme.txt'); asm mov After, esp; mov esp, Before end;
  Called('RyFtpOpenFile', FileHandle);
  { The copy Wine's WININET keeps in the URL cache: named while the handle is open,
    deleted once it is closed, as the binding shows. }
  CopySize := SizeOf(CacheCopy);
  Cached := (FileHandle <> 0) and InternetQueryOptionW(FileHandle, 33 { INTERNET_OPTION_DATAFILE_NAME },
    @CacheCopy, CopySize);
  Total := 0;
  while (FileHandle <> 0) and InternetReadFile(FileHandle, @Block, SizeOf(Block), Got) and (Got > 0) do
    Total := Total + Got;
  WriteLn('read readme.txt ', Total);

  { File, then connection, then session. }
  asm mov Before, esp end; R := RyINetClose(FileHandle, 0); asm mov After, esp; mov esp, Before end;
  Called('RyINetClose', R);
  if Cached then DeleteFileW(@CacheCopy);
  asm mov Before, esp end; R := RyINetClose(Ftp, 0); asm mov After, esp; mov esp, Before end;
  Called('RyINetClose', R);
  asm mov Before, esp end; R := RyINetClose(Session, 0); asm mov After, esp; mov esp, Before end;
  Called('RyINetClose', R);

  Names := RyPhonebookBuffer(10);
  asm mov Before, esp end; R := RyRasEnumE(0, PAnsiChar(Names)); asm mov After, esp; mov esp, Before end;
  Called('RyRasEnumE', R);
  Phonebook := RyPhonebookNames(Names);
  for I := 0 to High(Phonebook) do
    WriteLn('phonebook ', Phonebook[I]);
  if Length(Phonebook) = 0 then SetLength(Phonebook, 1); { an empty name: RdlParms finds nothing }
  User := StringOfChar(#0, RYINET_CREDENTIAL_BYTES);
  Password := StringOfChar(#1, RYINET_CREDENTIAL_BYTES); { stays #1 when none is stored }
  asm mov Before, esp end;
  R := RdlParms(PAnsiChar(Phonebook[0]), PAnsiChar(User), PAnsiChar(Password));
  asm mov After, esp; mov esp, Before end;
  Called('RdlParms', R);
  WriteLn('credentials ', RyCutAtTerminator(User), ' ', Password[1] <> #1);
  asm mov Before, esp end;
  Dialed := RyRasDial(0, PAnsiChar(Phonebook[0]), PAnsiChar(User), PAnsiChar(Password));
  asm mov After, esp; mov esp, Before end;
  Called('RyRasDial', Dialed);
  if Dialed <> 0 then RasHangUpA(Dialed);
  PrintRecords('record', ReadFile(ParamStr(3)));
  PrintUtf8Names(ReadFile(ParamStr(4)));
end.
