"""ryinet.py - RYINET.dll for Python's ctypes: 32-bit Python on Windows only.

Put RYINET.dll beside this file (or where Windows finds DLLs). A script lists a remote
directory like this (keep WININET loaded while you hold its handles):

    import ctypes
    import ryinet

    wininet = ctypes.WinDLL("wininet.dll")              # held until the last close
    session = ryinet.RyINetOpen(None)
    ftp = ryinet.RyFtpConnect(session, 0, None, b"ftp.example.com", b"user", b"secret")
    listing = ryinet.listing_buffer(1000)               # up to 1000 entries
    if ftp and ryinet.RyFtpDir(ftp, None, b"*", 0, listing) == 0:
        for entry in ryinet.read_listing(listing):
            print(ryinet.utf8_name(entry.name), entry.size)
    ryinet.RyINetClose(ftp, None)                       # connections before their session
    ryinet.RyINetClose(session, None)

Texts are bytes in the system's ANSI code page (None passes no text, as for RyFtpDir's
pattern); a listing's names are the bytes the server sent, UTF-8 from nearly every
server today, which utf8_name turns into text. Result buffers are
ctypes.create_string_buffer objects, whose size is never passed: make them with the
helpers below or give them the sizes the constants name.
A 64-bit Python cannot load the 32-bit RYINET.dll: importing this module there fails
with OSError.
"""
import collections
import ctypes
import os
from ctypes.wintypes import DWORD, HWND, LONG, LPCSTR, LPSTR

RYINET_LISTING_ENTRY_BYTES = 290    # RyFtpDir: one listing record at most
RYINET_PHONEBOOK_ENTRY_BYTES = 257  # RyRasEnumE: one entry name and its ';'
RYINET_CREDENTIAL_BYTES = 257       # RdlParms: the user name, and the password
RYINET_CURDIR_BYTES = 260           # RyFtpCurDir: the remote directory
RYINET_ADDRESS_BYTES = 16           # RyGetIp: a dotted IPv4 address

# Python 3.8 and later no longer look for DLLs in the current directory.
_here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "RYINET.dll")
_dll = ctypes.WinDLL(_here if os.path.exists(_here) else "RYINET.dll")  # stdcall


def _declare(name, restype, *arguments):
    """The export name as a function with its result and (name, type) arguments."""
    function = getattr(_dll, name)
    function.restype = restype
    function.argtypes = [kind for _, kind in arguments]
    return function


# Dial-up networking (the default phonebook)
RdlParms = _declare("RdlParms", LONG, ("entry", LPCSTR), ("userName", LPSTR), ("password", LPSTR))
RyRasDial = _declare("RyRasDial", DWORD, ("hwndIgnored", HWND), ("entry", LPCSTR),
                     ("userName", LPCSTR), ("password", LPCSTR))
RyRasEnumE = _declare("RyRasEnumE", LONG, ("ignored", DWORD), ("names", LPSTR))

# Connectivity
RyINetConn = _declare("RyINetConn", LONG)
RyGetIp = _declare("RyGetIp", LONG, ("address", LPSTR), ("hostName", LPCSTR))

# FTP client
RyINetOpen = _declare("RyINetOpen", DWORD, ("hwndOwner", HWND))
RyINetClose = _declare("RyINetClose", LONG, ("handle", DWORD), ("hwndOwner", HWND))
RyFtpConnect = _declare("RyFtpConnect", DWORD, ("session", DWORD), ("ignored", DWORD), ("hwndOwner", HWND),
                        ("server", LPCSTR), ("userName", LPCSTR), ("password", LPCSTR))
RyFtpDir = _declare("RyFtpDir", LONG, ("connection", DWORD), ("hwndOwner", HWND), ("pattern", LPCSTR),
                    ("ignored", DWORD), ("listing", LPSTR))
RyFSetDir = _declare("RyFSetDir", LONG, ("connection", DWORD), ("ignored", DWORD), ("directory", LPCSTR))
RyFtpCurDir = _declare("RyFtpCurDir", LONG, ("connection", DWORD), ("hwndOwner", HWND), ("directory", LPSTR))
RyFDelFile = _declare("RyFDelFile", LONG, ("connection", DWORD), ("hwndOwner", HWND), ("fileName", LPCSTR))
RyFRenFile = _declare("RyFRenFile", LONG, ("connection", DWORD), ("hwndOwner", HWND),
                      ("existingName", LPCSTR), ("newName", LPCSTR))
RyFtpMd = _declare("RyFtpMd", LONG, ("connection", DWORD), ("hwndOwner", HWND), ("directory", LPCSTR))
RyFtpRd = _declare("RyFtpRd", LONG, ("connection", DWORD), ("hwndOwner", HWND), ("directory", LPCSTR))
# The owner window comes first here.
RyFtpOpenFile = _declare("RyFtpOpenFile", DWORD, ("hwndOwner", HWND), ("connection", DWORD),
                         ("fileName", LPCSTR))
# Under Wine, WININET keeps a copy of every file read through RyFtpOpenFile in the user's
# URL cache (INetCache) and never removes it: a reader asks for the copy's name while the
# handle is open and deletes it once the handle is closed, or the disk fills:
#     copy = ctypes.create_unicode_buffer(260); size = DWORD(ctypes.sizeof(copy))
#     # ... InternetReadFile until it gives 0 bytes ...
#     cached = ctypes.windll.wininet.InternetQueryOptionW(
#         file, 33, copy, ctypes.byref(size))  # INTERNET_OPTION_DATAFILE_NAME
#     RyINetClose(file, hwnd)
#     if cached: os.remove(copy.value)

ListingEntry = collections.namedtuple(
    "ListingEntry", "name is_directory month day year hour minute size")
ListingEntry.__doc__ = """A listing record: name (bytes, without the " [ ] " of a directory);
the date fields are all 0 for a time outside the calendar; size is the low 32 bits of
the size, 0 for a directory."""


def listing_buffer(entries):
    """A result buffer for RyFtpDir: room for that many records, plus one."""
    return ctypes.create_string_buffer(entries * RYINET_LISTING_ENTRY_BYTES + 1)


def phonebook_buffer(entries):
    """A result buffer for RyRasEnumE: room for that many names, plus one."""
    return ctypes.create_string_buffer(entries * RYINET_PHONEBOOK_ENTRY_BYTES + 1)


def cut_at_terminator(buffer):
    """A result (a buffer or bytes) up to its terminator, as bytes."""
    raw = bytes(buffer)
    end = raw.find(b"\0")
    return raw if end < 0 else raw[:end]


def _digits(text, at, count):
    field = text[at:at + count]
    return int(field) if len(field) == count and field.isdigit() else None


def _record_end(text, p):
    """(length, month, day, year, hour, minute, size or None for <DIR>) of the
    ";MM/DD/YYYY  hh:mm;size|" at p, or None. The year has 4 or 5 digits; the size is
    "<DIR>" or up to 10 digits."""
    month, day = _digits(text, p + 1, 2), _digits(text, p + 4, 2)
    if month is None or day is None or text[p + 3:p + 4] != b"/" or text[p + 6:p + 7] != b"/":
        return None
    year_digits = 0
    while year_digits < 6 and text[p + 7 + year_digits:p + 8 + year_digits].isdigit():
        year_digits += 1
    if year_digits not in (4, 5):
        return None
    year, q = int(text[p + 7:p + 7 + year_digits]), p + 7 + year_digits
    hour, minute = _digits(text, q + 2, 2), _digits(text, q + 5, 2)
    if hour is None or minute is None or text[q:q + 2] != b"  " or text[q + 4:q + 5] != b":" \
            or text[q + 7:q + 8] != b";":
        return None
    q += 8
    if text[q:q + 5] == b"<DIR>":
        size, q = None, q + 5
    else:
        negative = text[q:q + 1] == b"-"
        if negative:
            q += 1
        digits = 0
        while digits < 11 and text[q + digits:q + digits + 1].isdigit():
            digits += 1
        if not 1 <= digits <= 10:
            return None
        # "%d" of the low 32 bits: a negative text is the same bits read as unsigned.
        size, q = (-int(text[q:q + digits]) if negative else int(text[q:q + digits])) & 0xFFFFFFFF, q + digits
    if text[q:q + 1] != b"|":
        return None
    return q + 1 - p, month, day, year, hour, minute, size


def read_listing(listing):
    """The records of RyFtpDir's listing (a buffer or bytes) as ListingEntry tuples.

    Names are not escaped, so a record ends at the first ";MM/DD/YYYY  hh:mm;size|"
    after its start (a "<DIR>" one only after a " [ name ] "), as ryinet_listing.h reads
    them. Raises ValueError when the text ends in something that is not a record."""
    text, start, entries = cut_at_terminator(listing), 0, []
    while start < len(text):
        p = text.find(b";", start)
        while p >= 0:
            found, name = _record_end(text, p), text[start:p]
            if found and found[6] is not None:
                break
            # A directory's name field is " [ name ] "; "<DIR>" after any other name is
            # part of a longer name.
            if found and len(name) >= 6 and name.startswith(b" [ ") and name.endswith(b" ] "):
                name = name[3:-3]
                break
            p = text.find(b";", p + 1)
        if p < 0:
            raise ValueError(f"not a listing record at byte {start}: {text[start:start + 40]!r}")
        length, month, day, year, hour, minute, size = found
        entries.append(ListingEntry(name, size is None, month, day, year, hour, minute, size or 0))
        start = p + length
    return entries


def utf8_name(name):
    """A listing name (bytes) as text. A server that announces UTF8 in its FEAT reply
    (nearly all today) sends names in UTF-8; an older one sends them in the ANSI code
    page, so decode those with name.decode("mbcs") instead. Bytes that are not UTF-8
    become lone surrogates ("surrogateescape") rather than "?" or an error, so
    utf8_name(name).encode("utf-8", "surrogateescape") gives back exactly the bytes the
    server knows the file by, to pass to RyFDelFile and the like."""
    return name.decode("utf-8", "surrogateescape")


def phonebook_names(names):
    """The entry names (bytes) of RyRasEnumE's "Office;Home;"."""
    return cut_at_terminator(names).split(b";")[:-1]
