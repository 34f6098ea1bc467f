#include "input.h"
#ifdef _WIN32  // the rest reads bytes only, and is fuzzed natively
#include <windows.h>
#include "text.h"
#endif

namespace {

// One line from next(), which gives a byte or EOF.
template <typename Next>
bool ReadLineFrom(Next next, InputLine* line) {
    line->text.clear();
    line->problem = InputLine::kNone;
    int c;
    bool any = false;
    while ((c = next()) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line->text.size() == kMaxLine) {
            line->problem = InputLine::kTooLong;
            continue;
        }
        line->text += static_cast<char>(c);
    }
    if (!line->text.empty() && line->text.back() == '\r') line->text.pop_back();
    if (line->problem == InputLine::kNone)
        for (unsigned char b : line->text)
            if ((b < 0x20 && b != '\t') || b == 0x7F) line->problem = InputLine::kBinary;
    return any;
}

#ifdef _WIN32
// One line of text held in memory, from *at on.
bool ReadLineFromText(const std::string& text, size_t* at, InputLine* line) {
    return ReadLineFrom([&] { return *at < text.size() ? static_cast<unsigned char>(text[(*at)++]) : EOF; }, line);
}
#endif

}  // namespace

bool ReadLine(FILE* in, InputLine* line) {
    return ReadLineFrom([in] { return getc(in); }, line);
}

bool SplitWords(const std::string& text, std::vector<std::string>* words) {
    words->clear();
    bool inWord = false, quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            if (!inWord) words->emplace_back();
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            inWord = false;
        } else {
            if (!inWord) words->emplace_back();
            inWord = true;
            words->back() += c;
        }
    }
    return !quoted;
}

#ifdef _WIN32
Input::Input(FILE* in) : in_(in) {
    DWORD mode;
    kind_ = in == stdin && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? kConsole : kPipe;
}

bool Input::openScript(const std::string& path, unsigned long* error) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size;
    bool ok = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
    std::string bytes(ok ? static_cast<size_t>(size.QuadPart) : 0, '\0');
    DWORD got = 0;
    ok = ok && (bytes.empty() || ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr));
    *error = ok ? 0 : GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) return false;
    bytes.resize(got);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    script_ = TextFromBytes(bytes);
    at_ = 0;
    kind_ = kScript;
    return true;
}

bool Input::next(InputLine* line) {
    if (kind_ == kScript) return ReadLineFromText(script_, &at_, line);
    if (kind_ == kPipe) {
        bool got = ReadLine(in_, line);
        if (line->problem == InputLine::kNone) line->text = TextFromBytes(line->text);
        return got;
    }
    std::string typed;
    if (!ReadConsoleText(&typed)) return false;
    size_t at = 0;
    ReadLineFromText(typed, &at, line);  // an empty line is a line too
    return true;
}

std::string ReadSecret(const char* prompt) {
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    bool hidden = GetConsoleMode(console, &mode) && SetConsoleMode(console, mode & ~ENABLE_ECHO_INPUT);
    WriteText(stdout, prompt);
    Input in(stdin);
    InputLine line;
    in.next(&line);
    if (hidden) {
        SetConsoleMode(console, mode);
        WriteText(stdout, "\n");
    }
    std::string secret;
    secret.swap(line.text);
    return secret;
}
#endif
