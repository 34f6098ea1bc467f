// What a listing must say, worked out independently of RYINET: the record of one find
// record, and the find records themselves, from the platform directly or from a
// synthetic source wired into RYINET's resolved entries.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <functional>
#include <string>
#include <vector>
#include "entries.h"

std::string ExpectedRecord(const WIN32_FIND_DATAA& entry);
std::string ExpectedListing(const std::vector<WIN32_FIND_DATAA>& entries);

// The find records the platform delivers for pattern on connection, in order.
std::vector<WIN32_FIND_DATAA> RawFind(HINTERNET connection, const char* pattern);

WIN32_FIND_DATAA FindRecord(const char* name, DWORD attributes, ULONGLONG size, WORD year, WORD month,
                            WORD day, WORD hour, WORD minute);

// Serves count records made by generate(index, record) through RYINET's find-first,
// find-next and close entries, and records how RYINET called them.
class SyntheticFinds {
public:
    using Generator = std::function<void(size_t index, WIN32_FIND_DATAA& record)>;
    SyntheticFinds(EntryControl& entries, size_t count, Generator generate);
    ~SyntheticFinds();

    static const DWORD kListingHandle = 0x5151;
    struct Calls {
        HINTERNET connection = nullptr;
        const char* pattern = nullptr;
        DWORD flags = 0xFFFFFFFF;
        DWORD_PTR context = 0xFFFFFFFF;
        int first = 0, next = 0, closed = 0;
    };
    const Calls& calls() const;

    // The source's own find entries, for a host's loop over the very same records.
    static decltype(&FtpFindFirstFileA) findFirst();
    static decltype(&InternetFindNextFileA) findNext();
};
