// ryinet_listing.h on any text: every record it reads lies inside the text, in order,
// with its fields in range, and the reader ends.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include "ryinet_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // the terminator RyFtpDir writes
    const char *cursor = text.c_str(), *end = cursor + text.size();
    RyListingEntry e;
    int got;
    while ((got = RyListingNext(&cursor, &e)) == 1) {
        if (e.name < text.c_str() || e.name + e.nameLength > cursor || cursor > end) abort();
        if (e.month > 99 || e.day > 99 || e.year > 99999 || e.hour > 99 || e.minute > 99) abort();
        if (e.isDirectory && e.size != 0) abort();
    }
    if (got != 0 && got != -1) abort();
    if (got == 0 && cursor != end && *cursor) abort();
    return 0;
}
