// ryftp's command table, kept as the BSD ftp client keeps its cmdtab: one row per command
// with its names, how many arguments it takes and which one is secret, its help, and its
// handler. Help, the argument checks and the transcript's masking all read these fields.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "commands.h"

namespace ryftp {

const size_t kNoSecret = SIZE_MAX;
const size_t kAnyNumber = SIZE_MAX;

struct Command {
    const char* name;
    const char* aliases;   // other names it answers to, blank-separated
    size_t least, most;    // how many arguments it takes
    size_t secret;         // the argument a transcript shows as ****, counted from 0
    const char* usage;     // its arguments, for help and usage errors
    const char* help;
    bool needsConnection;
    bool (*run)(Session&, const Args&);
    bool triedAgain = false;  // run again whole after a broken connection (a transfer's own
                              // attempts are the kit's)
};

// The command a name or alias stands for, or null.
const Command* FindCommand(const std::string& name);
void PrintCommandHelp(FILE* out);
void PrintUsage(FILE* out, const Command& c);

// The line as a transcript shows it: words quoted where needed, the secret as ****.
std::string EchoLine(const std::vector<std::string>& words);
// Words joined by blanks, those with blanks of their own in double quotes.
std::string Joined(const std::vector<std::string>& words);

}  // namespace ryftp
