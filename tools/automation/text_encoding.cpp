#include "text_encoding.h"
#include <cwchar>

bool ToServerBytes(BSTR text, UINT codePage, std::string& bytes) {
    bytes.clear();
    int chars = static_cast<int>(SysStringLen(text));
    if (chars == 0) return true;
    if (std::wmemchr(text, L'\0', chars)) return false;
    // UTF-8 refuses lone surrogates; the ANSI code page refuses what it would only
    // approximate ("?" or a look-alike names another file).
    DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* lossyOut = codePage == CP_UTF8 ? nullptr : &lossy;
    int size = WideCharToMultiByte(codePage, flags, text, chars, nullptr, 0, nullptr, lossyOut);
    if (size <= 0 || lossy) return false;
    bytes.resize(size);
    WideCharToMultiByte(codePage, flags, text, chars, &bytes[0], size, nullptr, nullptr);
    return true;
}

std::wstring FromServerBytes(const char* bytes, size_t length, UINT codePage) {
    std::wstring text;
    if (length == 0) return text;
    int n = static_cast<int>(length);
    DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    int size = MultiByteToWideChar(codePage, flags, bytes, n, nullptr, 0);
    if (size <= 0) {
        codePage = CP_ACP;
        flags = 0;
        size = MultiByteToWideChar(codePage, flags, bytes, n, nullptr, 0);
    }
    text.resize(size);
    MultiByteToWideChar(codePage, flags, bytes, n, &text[0], size);
    return text;
}
