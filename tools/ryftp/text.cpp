#include "text.h"
#include <windows.h>
#include <io.h>
#include <shellapi.h>
#include <algorithm>
#include "ryinet_kit_text.h"

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(RyKitUtf8ToUtf16(text.data(), text.size(), reinterpret_cast<unsigned short*>(&wide[0])));
    return wide;
}

std::string Utf8(const wchar_t* text, size_t length) {
    std::string utf8(3 * length, '\0');
    utf8.resize(RyKitUtf16ToUtf8(reinterpret_cast<const unsigned short*>(text), length, &utf8[0]));
    return utf8;
}

std::string TextFromBytes(const std::string& bytes) {
    if (RyKitIsUtf8(bytes.data(), bytes.size())) return bytes;
    int length = static_cast<int>(bytes.size());
    std::wstring wide(bytes.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, &wide[0], length));
    return Utf8(wide);
}

std::string Ansi(const std::string& text) {
    std::wstring wide = Wide(text);
    int units = static_cast<int>(wide.size());
    std::string ansi(2 * wide.size(), '\0');
    ansi.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), units, &ansi[0], static_cast<int>(ansi.size()), nullptr,
                                    nullptr));
    return ansi;
}

namespace {

// The console out writes to, or null. Asked once for each stream: asking costs a call
// into the system for every line.
HANDLE ConsoleOf(FILE* out) {
    static FILE* asked = nullptr;
    static HANDLE console = nullptr;
    if (out != asked) {
        HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
        DWORD mode;
        console = h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
        asked = out;
    }
    return console;
}

}  // namespace

bool IsConsole(FILE* out) { return ConsoleOf(out) != nullptr; }

void WriteText(FILE* out, const std::string& text) {
    HANDLE console = ConsoleOf(out);
    if (!console) {
        fwrite(text.data(), 1, text.size(), out);
        return;
    }
    fflush(out);
    std::wstring wide = Wide(text);
    DWORD written;
    for (size_t at = 0; at < wide.size(); at += written) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(console, wide.data() + at, chunk, &written, nullptr) || written == 0) break;
    }
}

bool ReadConsoleText(std::string* line) {
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring typed;
    wchar_t chunk[256];
    DWORD got = 0;
    line->clear();
    while (typed.empty() || typed.back() != L'\n') {
        if (!ReadConsoleW(console, chunk, 256, &got, nullptr) || got == 0) break;
        if (got == 1 && chunk[0] == 26) break;  // Ctrl-Z, the console's end of input
        typed.append(chunk, got);
    }
    if (typed.empty()) return false;
    while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r')) typed.pop_back();
    *line = Utf8(typed);
    return true;
}

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> utf8;
    for (int i = 0; i < count; ++i) utf8.push_back(Utf8(arguments[i], wcslen(arguments[i])));
    LocalFree(arguments);
    return utf8;
}
