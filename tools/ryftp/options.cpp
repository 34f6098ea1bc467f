#include "options.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "command_table.h"
#include "ryinet.h"
#include "session.h"

#ifndef RYFTP_VERSION
#define RYFTP_VERSION "(unversioned build)"  // the build gives the project's version
#endif

namespace ryftp {
namespace {

const unsigned long kMostEntries = 0x7FFFFFFF / RYINET_LISTING_ENTRY_BYTES - 1;
const unsigned long kMostSeconds = 0x7FFFFFFF / 1000;

#define RYFTP_USAGE \
    "ryftp [--echo-boxes] [--active] [--max-entries N] [--timeout SECONDS] [--max-time SECONDS] [--retries N]\n" \
    "             [--parallel N] [-v] [-n] [-i] [-d] [-g] [-A] [-s:FILE] [HOST [USER [PASSWORD]]]"

void PrintHelp() {
    puts("usage: " RYFTP_USAGE "\n"
         "\n"
         "  --echo-boxes     print each box the library shows as \"[box] CAPTION: TEXT\" and\n"
         "                   dismiss it (for unattended sessions)\n"
         "  --active         active mode: the server connects back for each listing and\n"
         "                   transfer (passive mode, the default, works behind a NAT)\n"
         "  --max-entries N  the most listing entries a listing may bring (default 1000000);\n"
         "                   address space is reserved for them, memory is used as written\n"
         "  --timeout SECONDS\n"
         "                   end a command that made no progress for so long (default 120,\n"
         "                   0 for never): no data came, no block was written, and in a\n"
         "                   listing the platform read nothing; Ctrl-C ends the command\n"
         "                   that runs, and with none running, ryftp\n"
         "  --max-time SECONDS\n"
         "                   end a command that has run for so long, whatever it is doing\n"
         "                   (default 0: never)\n"
         "  --retries N      try a broken transfer, listing or command again so many times\n"
         "                   (default 5; 0: never), pausing 1, 2, 4, 8, 16 s, connecting\n"
         "                   (and dialing) again; a get goes on from the bytes it had\n"
         "  --parallel N     mget, mput and mdelete move N files at once, each over a\n"
         "                   connection of its own (default 4, at most 16; 1: one after\n"
         "                   the other on the session's connection)\n"
         "  -s:FILE          read commands from FILE (also standard input when it is not a\n"
         "                   console); each is echoed after the prompt\n"
         "  HOST ...         open a connection first\n"
         "As the Windows ftp command (case matters; -a and -w:SIZE are accepted and ignored):\n"
         "  -v  quote does not show the reply        -n  no log-in on open: user logs in\n"
         "  -i  mget, mput, mdelete do not ask       -d  show the commands ryftp sends itself\n"
         "  -g  mput takes names without wildcards   -A  log in as anonymous\n"
         "\n"
         "open HOST asks for the user name and then the password, as ftp does (in a script its\n"
         "next two lines answer). The library connects and logs in in one call (RyFtpConnect),\n"
         "so ryftp holds the host until it has both, and only then connects; with -n it holds\n"
         "the host until user NAME [PASSWORD]. open HOST USER [PASSWORD] connects at once.\n"
         "\n"
         "Exit status: 0 when every command succeeded, 1 when one failed, 2 for a usage error.\n"
         "\n"
         "Commands (arguments with blanks in double quotes):");
    PrintCommandHelp(stdout);
}

// The number after an option, from least to most, into *value; else the exit status.
int ReadNumber(int argc, char** argv, int* i, unsigned long least, unsigned long most, const char* unit,
               unsigned long* value) {
    const char* option = argv[*i];
    if (*i + 1 == argc) return UsageError(option, *unit ? " needs a number of seconds" : " needs a number");
    const char* text = argv[++*i];
    char* end = nullptr;
    *value = strtoul(text, &end, 10);
    if (*text >= '0' && *text <= '9' && !*end && *value >= least && *value <= most) return -1;
    fprintf(stderr, "ryftp: %s takes %lu to %lu%s%s\n", option, least, most, *unit ? " " : "", unit);
    return 2;
}

}  // namespace

int UsageError(const char* what, const char* arg) {
    fprintf(stderr, "ryftp: %s%s\nusage: " RYFTP_USAGE " (--help for more)\n", what, arg);
    return 2;
}

int ReadOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        int status = -1;
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-?") == 0) {
            PrintHelp();
            return 0;
        } else if (strcmp(arg, "--version") == 0) {
            puts("ryftp " RYFTP_VERSION);
            return 0;
        } else if (strcmp(arg, "--echo-boxes") == 0) {
            o->echoBoxes = true;
        } else if (strcmp(arg, "--active") == 0) {
            o->active = true;
        } else if (strcmp(arg, "--max-entries") == 0) {
            status = ReadNumber(argc, argv, &i, 1, kMostEntries, "", &o->maxEntries);
        } else if (strcmp(arg, "--timeout") == 0) {
            status = ReadNumber(argc, argv, &i, 0, kMostSeconds, "seconds", &o->timeoutSeconds);
        } else if (strcmp(arg, "--retries") == 0) {
            status = ReadNumber(argc, argv, &i, 0, 100, "", &o->retries);
        } else if (strcmp(arg, "--parallel") == 0) {
            status = ReadNumber(argc, argv, &i, 1, RYKIT_MOST_PARALLEL, "", &o->parallel);
        } else if (strcmp(arg, "--max-time") == 0) {
            status = ReadNumber(argc, argv, &i, 0, kMostSeconds, "seconds", &o->maxTimeSeconds);
        } else if (strncmp(arg, "-s:", 3) == 0 && arg[3]) {
            o->scriptPath = arg + 3;
        } else if (strncmp(arg, "-w:", 3) == 0 && arg[3]) {
            // ftp's buffer size: WININET sizes its own
        } else if (arg[0] == '-' && arg[1] && strspn(arg + 1, "vnidgAa") == strlen(arg + 1)) {
            o->ftpFlags += arg + 1;
        } else if (arg[0] == '-') {
            return UsageError("unknown option ", arg);
        } else if (o->open.size() < 4) {
            o->open.push_back(arg);
        } else {
            return UsageError("too many arguments at ", arg);
        }
        if (status != -1) return status;
    }
    return -1;
}

void ApplyFtpFlags(const std::string& flags, Session& s) {
    for (char flag : flags) {
        if (flag == 'v') s.verbose = false;
        if (flag == 'n') s.autoLogin = false;
        if (flag == 'i') s.prompting = false;
        if (flag == 'd') s.debugging = true;
        if (flag == 'g') s.globbing = false;
        if (flag == 'A') s.anonymous = true;  // -a (any local interface) changes nothing here
    }
}

}  // namespace ryftp
