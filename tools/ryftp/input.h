// Command lines: reading them whole and safely, and splitting them into words.
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

// Blanks separate words, double quotes group them ("my file.txt"). False when a quote
// is not closed.
bool SplitWords(const std::string& text, std::vector<std::string>* words);

// Prompts on the console and reads a line without echoing it.
std::string ReadSecret(const char* prompt);
