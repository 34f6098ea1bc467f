// RyInet.cs - RYINET.dll for C# (.NET Framework and .NET), 32-bit Windows only.
//
// BUILD THE ASSEMBLY FOR x86 (<PlatformTarget>x86</PlatformTarget>, csc -platform:x86).
// RYINET.dll is a 32-bit DLL: an AnyCPU or x64 program runs as a 64-bit process on 64-bit
// Windows and cannot load it. The first call here refuses such a process with a clear
// message instead of a BadImageFormatException.
//
// A WinForms host lists a remote directory like this (keep WININET loaded while you
// hold its handles, and pass your window so the library's boxes are modal to it):
//
//     IntPtr wininet = LoadLibrary("wininet.dll");      // [DllImport("kernel32")] of your own
//     uint session = RyInet.RyINetOpen(Handle);
//     uint ftp = RyInet.RyFtpConnect(session, 0, Handle, "ftp.example.com", "user", "secret");
//     byte[] listing = RyInetText.ListingBuffer(1000);  // up to 1000 entries
//     List<RyListingEntry> entries;
//     if (ftp != 0 && RyInet.RyFtpDir(ftp, Handle, "*", 0, listing) == 0 &&
//         RyInetText.TryReadListing(listing, out entries))
//         foreach (RyListingEntry e in entries) listBox1.Items.Add(RyInetText.Utf8Name(e.NameBytes));
//     RyInet.RyINetClose(ftp, Handle);                  // connections before their session
//     RyInet.RyINetClose(session, Handle);
//     FreeLibrary(wininet);
//
// Texts are ANSI strings (null passes no text, as for RyFtpDir's pattern); a listing's
// names are the bytes the server sent, UTF-8 from nearly every server today. Result
// buffers are byte arrays the library writes in place; their size is never passed, so
// make them with RyInetText or give them the sizes the constants name, and read them
// back with RyInetText.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace RYINET
{
    public static class RyInet
    {
        public const int RYINET_LISTING_ENTRY_BYTES = 290;   // RyFtpDir: one listing record at most
        public const int RYINET_PHONEBOOK_ENTRY_BYTES = 257; // RyRasEnumE: one entry name and its ';'
        public const int RYINET_CREDENTIAL_BYTES = 257;      // RdlParms: the user name, and the password
        public const int RYINET_CURDIR_BYTES = 260;          // RyFtpCurDir: the remote directory
        public const int RYINET_ADDRESS_BYTES = 16;          // RyGetIp: a dotted IPv4 address

        const string Dll = "RYINET.dll";

        static RyInet()
        {
            if (IntPtr.Size != 4)
                throw new PlatformNotSupportedException(
                    "RYINET.dll is 32-bit: build this program for x86, not AnyCPU or x64.");
        }

        // Dial-up networking (the default phonebook)
        [DllImport(Dll, EntryPoint = "RdlParms", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RdlParms(string entry, byte[] userName, byte[] password);
        [DllImport(Dll, EntryPoint = "RyRasDial", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern uint RyRasDial(IntPtr hwndIgnored, string entry, string userName, string password);
        [DllImport(Dll, EntryPoint = "RyRasEnumE", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyRasEnumE(uint ignored, byte[] names);

        // Connectivity
        [DllImport(Dll, EntryPoint = "RyINetConn", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyINetConn();
        [DllImport(Dll, EntryPoint = "RyGetIp", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyGetIp(byte[] address, string hostName);

        // FTP client
        [DllImport(Dll, EntryPoint = "RyINetOpen", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern uint RyINetOpen(IntPtr hwndOwner);
        [DllImport(Dll, EntryPoint = "RyINetClose", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyINetClose(uint handle, IntPtr hwndOwner);
        [DllImport(Dll, EntryPoint = "RyFtpConnect", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern uint RyFtpConnect(uint session, uint ignored, IntPtr hwndOwner,
                                               string server, string userName, string password);
        [DllImport(Dll, EntryPoint = "RyFtpDir", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFtpDir(uint connection, IntPtr hwndOwner, string pattern,
                                          uint ignored, byte[] listing);
        [DllImport(Dll, EntryPoint = "RyFSetDir", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFSetDir(uint connection, uint ignored, string directory);
        [DllImport(Dll, EntryPoint = "RyFtpCurDir", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFtpCurDir(uint connection, IntPtr hwndOwner, byte[] directory);
        [DllImport(Dll, EntryPoint = "RyFDelFile", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFDelFile(uint connection, IntPtr hwndOwner, string fileName);
        [DllImport(Dll, EntryPoint = "RyFRenFile", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFRenFile(uint connection, IntPtr hwndOwner, string existingName, string newName);
        [DllImport(Dll, EntryPoint = "RyFtpMd", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFtpMd(uint connection, IntPtr hwndOwner, string directory);
        [DllImport(Dll, EntryPoint = "RyFtpRd", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int RyFtpRd(uint connection, IntPtr hwndOwner, string directory);
        // The owner window comes first here.
        [DllImport(Dll, EntryPoint = "RyFtpOpenFile", CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern uint RyFtpOpenFile(IntPtr hwndOwner, uint connection, string fileName);
        // Under Wine, WININET keeps a copy of every file read through RyFtpOpenFile in the
        // user's URL cache (INetCache) and never removes it: a reader asks for the copy's
        // name while the handle is open and deletes it once the handle is closed, or the
        // disk fills:
        //   [DllImport("wininet.dll", CharSet = CharSet.Unicode, EntryPoint = "InternetQueryOptionW")]
        //   static extern bool InternetQueryOption(IntPtr h, int option, StringBuilder buffer, ref int bytes);
        //   var copy = new StringBuilder(260); int bytes = 520;
        //   // ... InternetReadFile until it gives 0 bytes ...
        //   bool cached = InternetQueryOption((IntPtr)file, 33 /* INTERNET_OPTION_DATAFILE_NAME */, copy, ref bytes);
        //   RyInet.RyINetClose(file, hwnd);
        //   if (cached) File.Delete(copy.ToString());
    }

    public sealed class RyListingEntry
    {
        public string Name { get; set; }        // without the " [ ] " of a directory; ANSI
        public byte[] NameBytes { get; set; }   // the same name as the server sent it
        public bool IsDirectory { get; set; }
        public int Month { get; set; }          // the date fields are all 0 for a time outside the calendar
        public int Day { get; set; }
        public int Year { get; set; }
        public int Hour { get; set; }
        public int Minute { get; set; }
        public uint Size { get; set; }          // low 32 bits of the size; 0 for a directory
    }

    // Result buffers and their texts. Pure managed code: nothing here calls the library.
    public static class RyInetText
    {
        public static byte[] ListingBuffer(int entries)
        {
            return new byte[entries * RyInet.RYINET_LISTING_ENTRY_BYTES + 1];
        }

        public static byte[] PhonebookBuffer(int entries)
        {
            return new byte[entries * RyInet.RYINET_PHONEBOOK_ENTRY_BYTES + 1];
        }

        // A result up to its terminator, in the system's ANSI code page.
        public static string CutAtTerminator(byte[] buffer)
        {
            return Ansi(buffer, 0, Terminated(buffer));
        }

        // A listing name as text. A server that announces UTF8 in its FEAT reply (nearly all
        // today) sends names in UTF-8; an older one sends them in the ANSI code page, which
        // is what Name holds. Bytes that are not UTF-8 come out as U+FFFD: keep NameBytes
        // to name such a file to the server.
        public static string Utf8Name(byte[] nameBytes)
        {
            return Encoding.UTF8.GetString(nameBytes);
        }

        // The records of RyFtpDir's listing. Names are not escaped, so a record ends at the
        // first ";MM/DD/YYYY  hh:mm;size|" after its start (a "<DIR>" one only after a
        // " [ name ] "), as ryinet_listing.h reads them. False when the text ends in
        // something that is not a record; entries then holds the records before it.
        public static bool TryReadListing(byte[] listing, out List<RyListingEntry> entries)
        {
            entries = new List<RyListingEntry>();
            int end = Terminated(listing), start = 0;
            while (start < end)
            {
                int length = 0, p = start - 1;
                RyListingEntry e = null;
                while (length == 0 && ++p < end)
                {
                    if (listing[p] != ';') continue;
                    e = new RyListingEntry();
                    length = RecordEnd(listing, p, end, e);
                    int nameLength = p - start;
                    if (length == 0) continue;
                    if (!e.IsDirectory)
                        SetName(e, listing, start, nameLength);
                    // A directory's name field is " [ name ] "; "<DIR>" after any other name
                    // is part of a longer name.
                    else if (nameLength >= 6 && Matches(listing, start, " [ ") && Matches(listing, p - 3, " ] "))
                        SetName(e, listing, start + 3, nameLength - 6);
                    else
                        length = 0;
                }
                if (length == 0) return false;
                entries.Add(e);
                start = p + length;
            }
            return true;
        }

        // The entry names of RyRasEnumE's "Office;Home;".
        public static List<string> PhonebookNames(byte[] names)
        {
            var result = new List<string>();
            int end = Terminated(names), start = 0;
            for (int p = 0; p < end; ++p)
            {
                if (names[p] != ';') continue;
                result.Add(Ansi(names, start, p - start));
                start = p + 1;
            }
            return result;
        }

        static int Terminated(byte[] buffer)
        {
            int end = Array.IndexOf(buffer, (byte)0);
            return end < 0 ? buffer.Length : end;
        }

        static string Ansi(byte[] bytes, int start, int length)
        {
            if (length == 0) return string.Empty;
            GCHandle pin = GCHandle.Alloc(bytes, GCHandleType.Pinned);
            try { return Marshal.PtrToStringAnsi(pin.AddrOfPinnedObject() + start, length); }
            finally { pin.Free(); }
        }

        static void SetName(RyListingEntry e, byte[] listing, int start, int length)
        {
            e.Name = Ansi(listing, start, length);
            e.NameBytes = new byte[length];
            Array.Copy(listing, start, e.NameBytes, 0, length);
        }

        static bool Matches(byte[] text, int at, string expected)
        {
            for (int i = 0; i < expected.Length; ++i)
                if (at + i >= text.Length || text[at + i] != expected[i]) return false;
            return true;
        }

        static bool Digits(byte[] text, int at, int count, int end, out int value)
        {
            value = 0;
            for (int i = at; i < at + count; ++i)
            {
                if (i >= end || text[i] < '0' || text[i] > '9') return false;
                value = value * 10 + (text[i] - '0');
            }
            return true;
        }

        // The length of ";MM/DD/YYYY  hh:mm;size|" at p, or 0, with the date and size put
        // in e. The year has 4 or 5 digits; the size is "<DIR>" or up to 10 digits.
        static int RecordEnd(byte[] text, int p, int end, RyListingEntry e)
        {
            int month, day, year, hour, minute, yearDigits = 0, q = p + 7;
            if (!Digits(text, p + 1, 2, end, out month) || !Matches(text, p + 3, "/") ||
                !Digits(text, p + 4, 2, end, out day) || !Matches(text, p + 6, "/")) return 0;
            while (yearDigits < 6 && q + yearDigits < end && text[q + yearDigits] >= '0' && text[q + yearDigits] <= '9')
                ++yearDigits;
            if (yearDigits < 4 || yearDigits > 5) return 0;
            Digits(text, q, yearDigits, end, out year);
            q += yearDigits;
            if (!Matches(text, q, "  ") || !Digits(text, q + 2, 2, end, out hour) || !Matches(text, q + 4, ":") ||
                !Digits(text, q + 5, 2, end, out minute) || !Matches(text, q + 7, ";")) return 0;
            q += 8;
            e.Month = month; e.Day = day; e.Year = year; e.Hour = hour; e.Minute = minute;
            e.IsDirectory = Matches(text, q, "<DIR>");
            if (e.IsDirectory)
            {
                e.Size = 0;
                q += 5;
            }
            else
            {
                bool negative = Matches(text, q, "-");
                if (negative) ++q;
                int digits = 0;
                long size = 0;
                while (digits < 11 && q + digits < end && text[q + digits] >= '0' && text[q + digits] <= '9')
                    size = size * 10 + (text[q + digits++] - '0');
                if (digits == 0 || digits > 10) return 0;
                // "%d" of the low 32 bits: a negative text is the same bits read as unsigned.
                e.Size = unchecked((uint)(negative ? -size : size));
                q += digits;
            }
            return Matches(text, q, "|") ? q + 1 - p : 0;
        }
    }
}
