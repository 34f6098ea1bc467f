// Remote directory listing as one text of "name;date;size|" records.
#include "ryinet.h"
#include "../frame/binding.h"
#include "../frame/boxes.h"
#include "handles.h"

namespace {

// Each helper writes at out and returns the new end; a record ends with the text's
// terminator, so a listing is built in one pass whatever its length.
char* Append(char* out, const char* text) {
    while (*text) *out++ = *text++;
    return out;
}

// The platform's name field is MAX_PATH bytes; never read past it.
char* AppendName(char* out, const char (&name)[MAX_PATH]) {
    for (int i = 0; i < MAX_PATH - 1 && name[i]; ++i) *out++ = name[i];
    return out;
}

// value / 10 by multiplication: exact for every 32-bit value, and far cheaper than the
// divide instruction that size optimisation would pick.
inline DWORD Tenth(DWORD value) {
    return static_cast<DWORD>((static_cast<unsigned long long>(value) * 0xCCCCCCCDu) >> 35);
}

// The decimal digits of value: what wsprintfA writes for "%d" of a non-negative value, by
// hand, as its format parsing was most of a record's cost.
char* AppendNumber(char* out, DWORD value) {
    char digits[10];
    int n = 0;
    do {
        DWORD tenth = Tenth(value);
        digits[n++] = static_cast<char>('0' + (value - tenth * 10));
        value = tenth;
    } while (value);
    while (n) *out++ = digits[--n];
    return out;
}

// "%02d" of a calendar field: the platform's conversion gives 0 to 59 at most.
char* AppendTwoDigits(char* out, WORD value) {
    DWORD tenth = Tenth(value);
    *out++ = static_cast<char>('0' + tenth);
    *out++ = static_cast<char>('0' + (value - tenth * 10));
    return out;
}

// "%d": the value as a signed 32-bit number.
char* AppendSigned(char* out, LONG value) {
    DWORD magnitude = static_cast<DWORD>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    return AppendNumber(out, magnitude);
}

const WORD kLastFourDigitYear = 9999;

// "%02d/%02d/%d  %02d:%02d" from month, day, year, hour and minute. A time outside the
// calendar, or past the year 9999 (a server's date can say so), gets a date of the same
// shape instead: a five-digit year would make the record one byte longer than the
// RYINET_LISTING_ENTRY_BYTES per entry that hosts size their buffers for.
char* AppendDate(char* out, const FILETIME& written) {
    SYSTEMTIME t;
    if (!FileTimeToSystemTime(&written, &t) || t.wYear > kLastFourDigitYear)
        return Append(out, "00/00/0000  00:00");
    out = AppendTwoDigits(out, t.wMonth);
    *out++ = '/';
    out = AppendTwoDigits(out, t.wDay);
    *out++ = '/';
    out = AppendNumber(out, t.wYear);  // 1601 to 9999: four digits
    *out++ = ' ';
    *out++ = ' ';
    out = AppendTwoDigits(out, t.wHour);
    *out++ = ':';
    return AppendTwoDigits(out, t.wMinute);
}

char* AppendRecord(char* out, const WIN32_FIND_DATAA& entry) {
    bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory) out = Append(out, " [ ");
    out = AppendName(out, entry.cFileName);
    if (directory) out = Append(out, " ] ");
    *out++ = ';';
    out = AppendDate(out, entry.ftLastWriteTime);
    *out++ = ';';
    if (directory)
        out = Append(out, "<DIR>");
    else
        out = AppendSigned(out, static_cast<LONG>(entry.nFileSizeLow));
    *out++ = '|';
    *out = '\0';
    return out;
}

}  // namespace

extern "C" LONG WINAPI RyFtpDir(DWORD connection, HWND owner, LPCSTR pattern, DWORD,
                                LPSTR listing) {
    listing[0] = '\0';
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 1;
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
