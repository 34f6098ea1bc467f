#include "input.h"
#ifdef _WIN32  // the rest reads bytes only, and is fuzzed natively
#include <windows.h>
#endif

bool ReadLine(FILE* in, InputLine* line) {
    line->text.clear();
    line->problem = InputLine::kNone;
    int c;
    bool any = false;
    while ((c = getc(in)) != EOF) {
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
std::string ReadSecret(const char* prompt) {
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    bool hidden = GetConsoleMode(console, &mode) && SetConsoleMode(console, mode & ~ENABLE_ECHO_INPUT);
    fputs(prompt, stdout);
    fflush(stdout);
    InputLine line;
    ReadLine(stdin, &line);
    if (hidden) {
        SetConsoleMode(console, mode);
        fputs("\n", stdout);
    }
    std::string secret;
    secret.swap(line.text);
    return secret;
}
#endif
