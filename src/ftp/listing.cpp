// Remote directory listing as one text of "name;date;size|" records.
#include "ryinet.h"
#include "../frame/binding.h"
#include "../frame/boxes.h"
#include "handles.h"

namespace {

// Each helper writes at out, keeps the text terminated, and returns the new end, so a
// listing is built in one pass whatever its length.
char* Append(char* out, const char* text) {
    while (*text) *out++ = *text++;
    *out = '\0';
    return out;
}

// The platform's name field is MAX_PATH bytes; never read past it.
char* AppendName(char* out, const char (&name)[MAX_PATH]) {
    for (int i = 0; i < MAX_PATH - 1 && name[i]; ++i) *out++ = name[i];
    *out = '\0';
    return out;
}

// The decimal digits of value, zero-padded to at least width digits: what wsprintfA writes
// for "%0<width>u", by hand, since its format parsing was most of a record's cost.
char* AppendNumber(char* out, DWORD value, int width) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    while (n < width) digits[n++] = '0';
    while (n) *out++ = digits[--n];
    return out;
}

// "%d": the value as a signed 32-bit number.
char* AppendSigned(char* out, LONG value) {
    DWORD magnitude = static_cast<DWORD>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    return AppendNumber(out, magnitude, 1);
}

// "%02d/%02d/%d  %02d:%02d" from month, day, year, hour and minute. A time outside the
// calendar still gets a date of the same shape, so a record never outgrows its bound.
char* AppendDate(char* out, const FILETIME& written) {
    SYSTEMTIME t;
    if (!FileTimeToSystemTime(&written, &t)) return Append(out, "00/00/0000  00:00");
    out = AppendNumber(out, t.wMonth, 2);
    *out++ = '/';
    out = AppendNumber(out, t.wDay, 2);
    *out++ = '/';
    out = AppendNumber(out, t.wYear, 1);
    *out++ = ' ';
    *out++ = ' ';
    out = AppendNumber(out, t.wHour, 2);
    *out++ = ':';
    out = AppendNumber(out, t.wMinute, 2);
    *out = '\0';
    return out;
}

char* AppendRecord(char* out, const WIN32_FIND_DATAA& entry) {
    bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory) out = Append(out, " [ ");
    out = AppendName(out, entry.cFileName);
    if (directory) out = Append(out, " ] ");
    out = Append(out, ";");
    out = AppendDate(out, entry.ftLastWriteTime);
    out = Append(out, ";");
    if (directory)
        out = Append(out, "<DIR>");
    else
        out = AppendSigned(out, static_cast<LONG>(entry.nFileSizeLow));
    return Append(out, "|");
}

}  // namespace

extern "C" LONG WINAPI RyFtpDir(DWORD connection, HWND owner, LPCSTR pattern, DWORD,
                                LPSTR listing) {
    listing[0] = '\0';
    InternetBinding inet;
    if (!inet.bound()) return 1;
    auto findFirst = RY_RESOLVE(inet, FtpFindFirstFileA);
    auto findNext = RY_RESOLVE(inet, InternetFindNextFileA);
    if (!findFirst || !findNext) {
        InfoBox(owner, Box::DirNotFound);
        return 1;
    }
    WIN32_FIND_DATAA entry;
    HINTERNET find = findFirst(AsHandle(connection), pattern, &entry, 0, 0);
    if (!find) return 1;
    char* end = listing;
    do {
        end = AppendRecord(end, entry);
    } while (findNext(find, &entry));
    RyINetClose(FromHandle(find), owner);
    return 0;
}
