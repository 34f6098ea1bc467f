// Text at the Explorer's edges: the server's names and replies, local file names, and the
// ANSI code page (see text.h).
#include "text.h"
#include <wchar.h>
#include <algorithm>
#include <iterator>

namespace {

const wchar_t kReplacement = 0xFFFD;

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
bool IsSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Calls keep(c) for each character that is not half of a surrogate pair; replaces those
// it refuses, and each unpaired surrogate, with replacement.
template <typename Keep>
std::wstring Replaced(std::wstring text, wchar_t replacement, Keep keep) {
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]))
            ++i;  // a character beyond U+FFFF, whole
        else if (IsSurrogate(c) || !keep(c))
            text[i] = replacement;
    }
    return text;
}

std::wstring Decoded(UINT codePage, const char* bytes, size_t length) {
    std::wstring text(length, L'\0');  // no code page gives more units than bytes
    if (length) text.resize(MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(length), &text[0],
                                                static_cast<int>(text.size())));
    return text;
}

}  // namespace

std::wstring NameText(const RyKitNames& names, const char* bytes, size_t length) {
    std::wstring text(length + 1, L'\0');  // one unit a byte at most, in either encoding
    text.resize(RyKitNameToText(&names, bytes, length, &text[0], text.size()));
    return text;
}

bool ServerName(const RyKitNames& names, const std::wstring& text, std::string* bytes) {
    bytes->assign(3 * text.size() + 1, '\0');  // three bytes a unit at most, in UTF-8
    bytes->resize(RyKitNameToServer(&names, text.c_str(), &(*bytes)[0], bytes->size()));
    return !bytes->empty() || text.empty();
}

std::wstring Printable(std::wstring text, bool keepLineBreaks) {
    return Replaced(std::move(text), kReplacement, [keepLineBreaks](wchar_t c) {
        return !IsControl(c) || (keepLineBreaks && (c == L'\r' || c == L'\n' || c == L'\t'));
    });
}

std::wstring ReplyText(const char* reply) {
    size_t length = strlen(reply);
    return Printable(Decoded(RyKitIsUtf8(reply, length) ? CP_UTF8 : CP_ACP, reply, length), true);
}

std::wstring LocalFileName(const std::wstring& text) {
    std::wstring name = Replaced(text, L'_', [](wchar_t c) { return !IsControl(c) && !wcschr(L"<>:\"/\\|?*", c); });
    if (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.back() = L'_';
    if (RyKitIsDeviceName(name.c_str())) name.insert(0, 1, L'_');
    return name;
}

std::wstring KitText(const char* text) {
    std::wstring line = Printable(ReplyText(text));  // one line: a status bar part has no second
    if (!line.empty()) CharUpperBuffW(&line[0], 1);
    return line;
}

std::wstring AttemptText(unsigned attempt, unsigned retries, DWORD pauseSeconds, const char* reason) {
    std::wstring text = KitText(reason);
    if (pauseSeconds) text += L"; trying again in " + std::to_wstring(pauseSeconds) + L" s";
    return text + L" (" + std::to_wstring(attempt) + L" of " + std::to_wstring(retries) + L")";
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string Ansi(const std::wstring& text) {
    int size = static_cast<int>(text.size());
    std::string bytes(WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr), '\0');
    if (!bytes.empty())
        WideCharToMultiByte(CP_ACP, 0, text.data(), size, &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

std::wstring FromAnsi(const std::string& bytes) { return Decoded(CP_ACP, bytes.data(), bytes.size()); }
