// The FTP server's bytes and the automation client's UTF-16. RYINET takes and gives
// bytes; names cross into them here, in the code page the connection chose (CP_UTF8 when
// the server announced UTF8, else CP_ACP).
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>

// Converts a BSTR (NULL is the empty text) to the code page's bytes. False when a
// character has no form there (the ANSI code page lacks it, or a lone surrogate) or the
// text holds a NUL, which would cut the name short.
bool ToServerBytes(BSTR text, UINT codePage, std::string& bytes);

// Converts bytes of the code page to UTF-16; bytes that are not valid UTF-8 are read in
// the ANSI code page instead, so a name is never lost.
std::wstring FromServerBytes(const char* bytes, size_t length, UINT codePage);
inline std::wstring FromServerBytes(const std::string& bytes, UINT codePage) {
    return FromServerBytes(bytes.data(), bytes.size(), codePage);
}
