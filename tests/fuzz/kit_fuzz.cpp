// The host kit's readers of text from elsewhere, on any text: the phonebook's names
// cover it in order, a reply code is 0 or three digits, a SIZE answer is -1 or fits.
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include "ryinet_kit_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const char *cursor = text.c_str(), *name, *end = cursor + strlen(cursor);
    size_t length;
    while (RyKitNextName(&cursor, &name, &length)) {
        if (name + length > end || cursor > end || memchr(name, ';', length)) abort();
    }
    if (cursor != end) abort();
    int code = RyKitReplyCode(text.c_str());
    if (code != 0 && (code < 0 || code > 999)) abort();
    long long bytes = RyKitSizeFromReply(text.c_str());
    if (bytes < -1 || bytes > 999999999999999999LL) abort();
    if (RyKitTextEnds(text.data(), size) != (memchr(data, 0, size) != NULL)) abort();
    return 0;
}
