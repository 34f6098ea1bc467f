#include "listing.h"
#include <stdio.h>
#include <string.h>

std::string ExpectedRecord(const WIN32_FIND_DATAA& e) {
    bool directory = (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string name(e.cFileName, strnlen(e.cFileName, MAX_PATH - 1));
    std::string out = directory ? " [ " + name + " ] " : name;
    // The fields exactly as wsprintfA writes them with the documented formats.
    char date[32] = "00/00/0000  00:00";  // an unconvertible time, or a year past 9999
    SYSTEMTIME t;
    if (FileTimeToSystemTime(&e.ftLastWriteTime, &t) && t.wYear <= 9999)
        wsprintfA(date, "%02d/%02d/%d  %02d:%02d", t.wMonth, t.wDay, t.wYear, t.wHour, t.wMinute);
    char size[16] = "<DIR>";
    if (!directory) wsprintfA(size, "%d", static_cast<int>(e.nFileSizeLow));
    return out + ";" + date + ";" + size + "|";
}

std::string ExpectedListing(const std::vector<WIN32_FIND_DATAA>& entries) {
    std::string out;
    for (const auto& e : entries) out += ExpectedRecord(e);
    return out;
}

std::vector<WIN32_FIND_DATAA> RawFind(HINTERNET connection, const char* pattern) {
    std::vector<WIN32_FIND_DATAA> out;
    WIN32_FIND_DATAA f;
    HINTERNET find = FtpFindFirstFileA(connection, pattern, &f, 0, 0);
    if (!find) return out;
    do out.push_back(f);
    while (InternetFindNextFileA(find, &f));
    InternetCloseHandle(find);
    return out;
}

WIN32_FIND_DATAA FindRecord(const char* name, DWORD attributes, ULONGLONG size, WORD year, WORD month,
                            WORD day, WORD hour, WORD minute) {
    WIN32_FIND_DATAA f;
    memset(&f, 0xEE, sizeof f);  // fields RYINET must not use hold garbage
    f.dwFileAttributes = attributes;
    f.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    f.nFileSizeLow = static_cast<DWORD>(size);
    SYSTEMTIME t = {year, month, 0, day, hour, minute, 42, 0};
    SystemTimeToFileTime(&t, &f.ftLastWriteTime);
    lstrcpynA(f.cFileName, name, MAX_PATH);
    return f;
}

namespace {
struct Source {
    size_t count = 0;
    size_t index = 0;
    SyntheticFinds::Generator generate;
    SyntheticFinds::Calls calls;
    void* realClose = nullptr;
} g_source;

const HINTERNET kHandle = reinterpret_cast<HINTERNET>(SyntheticFinds::kListingHandle);

HINTERNET WINAPI FakeFindFirst(HINTERNET connection, LPCSTR pattern, LPWIN32_FIND_DATAA record, DWORD flags,
                               DWORD_PTR context) {
    Source& s = g_source;
    ++s.calls.first;
    s.calls.connection = connection;
    s.calls.pattern = pattern;
    s.calls.flags = flags;
    s.calls.context = context;
    s.index = 0;
    if (s.count == 0) {
        SetLastError(ERROR_NO_MORE_FILES);
        return nullptr;
    }
    s.generate(0, *record);
    return kHandle;
}

BOOL WINAPI FakeFindNext(HINTERNET find, LPVOID record) {
    Source& s = g_source;
    ++s.calls.next;
    if (find != kHandle || s.index + 1 >= s.count) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    s.generate(++s.index, *static_cast<WIN32_FIND_DATAA*>(record));
    return TRUE;
}

BOOL WINAPI FakeClose(HINTERNET handle) {
    if (handle != kHandle) return reinterpret_cast<decltype(&InternetCloseHandle)>(g_source.realClose)(handle);
    ++g_source.calls.closed;
    return TRUE;
}
}  // namespace

SyntheticFinds::SyntheticFinds(EntryControl& entries, size_t count, Generator generate) {
    g_source = Source();
    g_source.count = count;
    g_source.generate = std::move(generate);
    g_source.realClose = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("wininet.dll"), "InternetCloseHandle"));
    entries.answer("FtpFindFirstFileA", &FakeFindFirst);
    entries.answer("InternetFindNextFileA", &FakeFindNext);
    entries.answer("InternetCloseHandle", &FakeClose);
}

SyntheticFinds::~SyntheticFinds() { g_source.generate = nullptr; }

const SyntheticFinds::Calls& SyntheticFinds::calls() const { return g_source.calls; }

decltype(&FtpFindFirstFileA) SyntheticFinds::findFirst() { return &FakeFindFirst; }

decltype(&InternetFindNextFileA) SyntheticFinds::findNext() { return &FakeFindNext; }
