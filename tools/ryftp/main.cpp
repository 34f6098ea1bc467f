// ryftp: a console FTP and dial-up client in the manner of the Windows ftp command, and
// the reference host of RYINET.DLL. It calls every export through the import library as
// a host should: result buffers sized as each export states (the listing's grows as
// written, see growing_buffer.h), WININET kept loaded while handles are held (ryftp
// links it: it reads opened files and uploads through it), handles closed file first,
// then connection, then session.
//
//   ryftp [--echo-boxes] [--max-entries N] [-s:FILE] [HOST [USER [PASSWORD]]]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "box_watch.h"
#include "growing_buffer.h"
#include "input.h"
#include "session.h"

#ifndef RYFTP_VERSION
#define RYFTP_VERSION "(unversioned build)"  // the build gives the project's version
#endif

namespace {

const unsigned long kDefaultMaxEntries = 1000000;
const unsigned long kMostEntries = 0x7FFFFFFF / kListingRecordBytes - 1;

void PrintHelp() {
    puts("usage: ryftp [--echo-boxes] [--max-entries N] [-s:FILE] [HOST [USER [PASSWORD]]]\n"
         "\n"
         "  --echo-boxes     print each box the library shows as \"[box] CAPTION: TEXT\" and\n"
         "                   dismiss it (for unattended sessions)\n"
         "  --max-entries N  the most listing entries a listing may bring (default 1000000);\n"
         "                   address space is reserved for them, memory is used as written\n"
         "  -s:FILE          read commands from FILE (also standard input when it is not a\n"
         "                   console); each is echoed after the prompt\n"
         "  HOST ...         open a connection first\n"
         "\n"
         "Exit status: 0 when every command succeeded, 1 when one failed, 2 for a usage error.\n"
         "\n"
         "Commands (arguments with blanks in double quotes):");
    PrintCommandHelp();
}

int UsageError(const char* what, const char* arg) {
    fprintf(stderr, "ryftp: %s%s\nusage: ryftp [--echo-boxes] [--max-entries N] [-s:FILE] "
            "[HOST [USER [PASSWORD]]] (--help for more)\n", what, arg);
    return 2;
}

// Runs one line; false when it failed. Blank lines and # comments are no commands.
bool RunLine(Session& session, const InputLine& line, bool echo) {
    if (line.problem == InputLine::kTooLong) {
        if (echo) printf("ryftp> %.40s...\n", line.text.c_str());
        printf("line over %u bytes: ignored\n", static_cast<unsigned>(kMaxLine));
        return false;
    }
    if (line.problem == InputLine::kBinary) {
        if (echo) puts("ryftp> (a line with control bytes)");
        puts("line with control bytes: ignored");
        return false;
    }
    size_t first = line.text.find_first_not_of(" \t");
    if (first == std::string::npos) return true;
    if (line.text[first] == '#') {
        if (echo) puts(line.text.c_str() + first);
        return true;
    }
    std::vector<std::string> words;
    if (!SplitWords(line.text, &words)) {
        if (echo) printf("ryftp> %s\n", line.text.c_str());
        puts("unbalanced quotes: line ignored");
        return false;
    }
    if (echo) printf("ryftp> %s\n", EchoLine(words).c_str());
    return session.run(words);
}

}  // namespace

void StopBeforeOverwrite(size_t bytes) {
    printf("the result passed the %lu bytes reserved for it (--max-entries); "
           "ryftp stops before memory is overwritten\n", static_cast<unsigned long>(bytes));
    fflush(stdout);
    ExitProcess(1);
}

int main(int argc, char** argv) {
    bool echoBoxes = false;
    unsigned long maxEntries = kDefaultMaxEntries;
    const char* scriptPath = nullptr;
    std::vector<std::string> open = {"open"};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-?") == 0) {
            PrintHelp();
            return 0;
        } else if (strcmp(arg, "--version") == 0) {
            puts("ryftp " RYFTP_VERSION);
            return 0;
        } else if (strcmp(arg, "--echo-boxes") == 0) {
            echoBoxes = true;
        } else if (strcmp(arg, "--max-entries") == 0) {
            char* end = nullptr;
            if (i + 1 == argc) return UsageError("--max-entries needs a number", "");
            maxEntries = strtoul(argv[++i], &end, 10);
            if (*end || maxEntries == 0 || maxEntries > kMostEntries) {
                fprintf(stderr, "ryftp: --max-entries takes 1 to %lu\n", kMostEntries);
                return 2;
            }
        } else if (strncmp(arg, "-s:", 3) == 0 && arg[3]) {
            scriptPath = arg + 3;
        } else if (arg[0] == '-') {
            return UsageError("unknown option ", arg);
        } else if (open.size() < 4) {
            open.push_back(arg);
        } else {
            return UsageError("too many arguments at ", arg);
        }
    }

    FILE* input = stdin;
    if (scriptPath && !(input = fopen(scriptPath, "rb"))) return UsageError("cannot read ", scriptPath);
    DWORD mode;
    bool interactive = !scriptPath && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);

    GrowingBuffer results(maxEntries * kListingRecordBytes + 1, &StopBeforeOverwrite);
    if (!results.reserved()) {
        fprintf(stderr, "ryftp: cannot reserve address space for %lu listing entries\n", maxEntries);
        return 2;
    }
    BoxWatch boxes(echoBoxes);
    Session session(GetConsoleWindow(), results, boxes, interactive);

    bool allOk = true;
    if (open.size() > 1) {
        if (!interactive) printf("ryftp> %s\n", EchoLine(open).c_str());
        allOk = session.run(open);
    }
    InputLine line;
    while (!session.finished) {
        if (interactive) {
            fputs("ryftp> ", stdout);
            fflush(stdout);
        }
        if (!ReadLine(input, &line)) break;
        allOk = RunLine(session, line, !interactive) && allOk;
    }
    if (input != stdin) fclose(input);
    return allOk ? 0 : 1;
}
