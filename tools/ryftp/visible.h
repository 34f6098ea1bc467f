// Texts a server sent (names, directories, replies) as ryftp prints them. A server is not
// trusted, and a control character it slips into a name could clear or retitle the user's
// terminal, so each C0 control, DEL and C1 control (U+0080-U+009F, CSI among them), and
// each byte that is not part of valid UTF-8, is printed as \xNN, one per byte. A valid
// UTF-8 sequence is printed whole. Only the printing changes: keep the bytes themselves
// for anything sent back to the server.
#pragma once
#include <stddef.h>
#include <string>
#include "ryinet_kit_text.h"

inline std::string Visible(const char* text, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(length);
    for (size_t i = 0; i < length;) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        size_t n = RyKitUtf8Sequence(text + i, length - i);
        bool control = b < 0x20 || b == 0x7F || (b == 0xC2 && n == 2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F);
        if (n > 0 && !control) {
            shown.append(text + i, n);
            i += n;
            continue;
        }
        for (size_t end = i + (n ? n : 1); i < end; ++i) {
            b = static_cast<unsigned char>(text[i]);
            shown += "\\x";
            shown += kHex[b >> 4];
            shown += kHex[b & 15];
        }
    }
    return shown;
}

inline std::string Visible(const std::string& text) { return Visible(text.data(), text.size()); }
