// Texts a server sent (names, directories, replies) as ryftp prints them. A server is not
// trusted, and a control byte it slips into a name could clear or retitle the user's
// terminal, so every byte below 0x20, 0x7F and 0x80-0x9F (the C1 controls, CSI among
// them) is printed as \xNN. Only the printing changes: keep the bytes themselves for
// anything sent back to the server.
#pragma once
#include <stddef.h>
#include <string>

inline std::string Visible(const char* text, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || (b >= 0x7F && b <= 0x9F)) {
            shown += "\\x";
            shown += kHex[b >> 4];
            shown += kHex[b & 15];
        } else {
            shown += static_cast<char>(b);
        }
    }
    return shown;
}

inline std::string Visible(const std::string& text) { return Visible(text.data(), text.size()); }
