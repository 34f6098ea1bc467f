// The host kit's readers of text from elsewhere, on any text: the phonebook's names
// cover it in order, a reply code is 0 or three digits, a SIZE answer and a size a 150
// announces are -1 or fit, and any bytes, as a name, become UTF-16 within their length
// and come back exactly.
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include <vector>
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
    bytes = RyKitSizeFromOpening(text.c_str());
    if (bytes < -1 || bytes > 999999999999999999LL) abort();
    if (RyKitTextEnds(text.data(), size) != (memchr(data, 0, size) != NULL)) abort();
    std::vector<unsigned short> units(size + 1);
    size_t count = RyKitUtf8ToUtf16(text.data(), size, units.data());
    std::string back(3 * count + 1, '\0');
    back.resize(RyKitUtf16ToUtf8(units.data(), count, &back[0]));
    if (count > size || back != text) abort();
    return 0;
}
