// Command lines: where they come from, reading them whole and safely, and splitting them
// into words.
#pragma once
#include <stdio.h>
#include <string>
#include <vector>

const size_t kMaxLine = 4096;

struct InputLine {
    enum Problem { kNone, kTooLong, kBinary };
    std::string text;  // without the line end; cut at kMaxLine when too long
    Problem problem = kNone;
};

// Reads one line; false at the end of the input. A line over kMaxLine bytes is read to
// its end and flagged; so is one with control bytes other than tab.
bool ReadLine(FILE* in, InputLine* line);

// Where commands (and answers to prompts) come from, each line as UTF-8 text: a script,
// read whole (UTF-8, a BOM skipped, or the ANSI code page when the file is not UTF-8, as
// an old Notepad saved it); the console, through ReadConsoleW; or a pipe, each line UTF-8
// or else ANSI.
class Input {
public:
    enum Kind { kConsole, kPipe, kScript };
    explicit Input(FILE* in);  // the console when in is stdin at a console, else a pipe
    // A script; false, with the system's error, when it cannot be read.
    bool openScript(const std::string& path, unsigned long* error);
    bool next(InputLine* line);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
    FILE* in_;
    std::string script_;
    size_t at_ = 0;
};

// Blanks separate words, double quotes group them ("my file.txt"). False when a quote
// is not closed.
bool SplitWords(const std::string& text, std::vector<std::string>* words);

// Prompts on the console and reads a line without echoing it.
std::string ReadSecret(const char* prompt);
