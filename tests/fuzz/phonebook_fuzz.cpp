// The RAS stand-in's phonebook reader on any file: it ends, and each entry's fields come
// from the text, one line each.
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include "phonebook_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const rasstandin::Entry& e : rasstandin::ParsePhonebook(text)) {
        if (e.name.size() > size || e.user.size() > size || e.password.size() > size) abort();
        if (e.name.find('\n') != std::string::npos || e.user.find('\n') != std::string::npos) abort();
    }
    return 0;
}
