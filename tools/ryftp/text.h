// Text in ryftp: UTF-8 in every std::string, UTF-16 at each call into Windows, and at the
// edges what the other side reads: the console its own characters (WriteConsoleW), a file
// or a pipe UTF-8, the server its own encoding (Session::serverName).
#pragma once
#include <stdio.h>
#include <string>
#include <vector>

std::wstring Wide(const std::string& text);
std::string Utf8(const wchar_t* text, size_t length);
inline std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }
// Bytes from elsewhere (a script, a pipe, a box's text): kept when they are UTF-8, else
// read in the ANSI code page, as an older Windows program wrote them.
std::string TextFromBytes(const std::string& bytes);

// Text for a call that takes the ANSI code page (the phonebook's names and credentials).
std::string Ansi(const std::string& text);

bool IsConsole(FILE* out);
// Writes text to out: through WriteConsoleW when out is a console, as UTF-8 otherwise.
void WriteText(FILE* out, const std::string& text);
// Reads a line typed at the console (ReadConsoleW), without its line end; false at the end.
bool ReadConsoleText(std::string* line);
// The command line's arguments (GetCommandLineW), program name first.
std::vector<std::string> CommandLineArguments();
