// ryftp: a console FTP and dial-up client in the manner of the Windows ftp command, and
// the reference host of RYINET.DLL. It calls every export through the import library as
// a host should: result buffers sized as each export states (the listing's grows as
// written, through the host kit's RyKitBuffer), WININET kept loaded while handles are
// held (ryftp links it: it reads opened files and uploads through it), handles closed
// file first, then connection, then session.
//
//   ryftp [--echo-boxes] [--max-entries N] [--timeout SECONDS] [-v] [-n] [-i] [-d] [-g] [-A] [-s:FILE]
//         [HOST [USER [PASSWORD]]]
//
// The options and commands of the Windows ftp command are there too, so its scripts run.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "command_table.h"
#include "input.h"
#include "ryinet_kit.h"
#include "session.h"

#ifndef RYFTP_VERSION
#define RYFTP_VERSION "(unversioned build)"  // the build gives the project's version
#endif

namespace {

const unsigned long kDefaultMaxEntries = 1000000;
const unsigned long kMostEntries = 0x7FFFFFFF / RYINET_LISTING_ENTRY_BYTES - 1;
const unsigned long kMostSeconds = 0x7FFFFFFF / 1000;

#define RYFTP_USAGE \
    "ryftp [--echo-boxes] [--max-entries N] [--timeout SECONDS] [-v] [-n] [-i] [-d] [-g] [-A] [-s:FILE]\n" \
    "             [HOST [USER [PASSWORD]]]"

void PrintHelp() {
    puts("usage: " RYFTP_USAGE "\n"
         "\n"
         "  --echo-boxes     print each box the library shows as \"[box] CAPTION: TEXT\" and\n"
         "                   dismiss it (for unattended sessions)\n"
         "  --max-entries N  the most listing entries a listing may bring (default 1000000);\n"
         "                   address space is reserved for them, memory is used as written\n"
         "  --timeout SECONDS\n"
         "                   end a command that made no progress for so long (default 120,\n"
         "                   0 for never); Ctrl-C ends the command that runs, and with none\n"
         "                   running, ryftp\n"
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

int UsageError(const char* what, const char* arg) {
    fprintf(stderr, "ryftp: %s%s\nusage: " RYFTP_USAGE " (--help for more)\n", what, arg);
    return 2;
}

// A result past the reservation: say so and stop before memory is overwritten.
void StopBeforeOverwrite(void*, size_t bytes) {
    printf("the result passed the %lu bytes reserved for it (--max-entries); "
           "ryftp stops before memory is overwritten\n", static_cast<unsigned long>(bytes));
    fflush(stdout);
    ExitProcess(1);
}

// --echo-boxes: the session's transcript tells the whole story, and nobody waits.
int EchoBox(void*, const RyKitShownBox* box) {
    printf("[box] %s: %s\n", box->caption, box->text);
    fflush(stdout);
    return IDOK;
}

// The session's watchdog, for the console's control handler, which gets no context.
Watchdog* gRunning;

// Ctrl-C cancels the command that runs. With none running, the system's own handler
// ends ryftp, as it ends any console program.
BOOL WINAPI OnConsoleControl(DWORD event) {
    Watchdog* w = gRunning;
    return event == CTRL_C_EVENT && w && w->cancel();
}

// A number of 0 to most after an option, or false.
bool ReadNumber(const char* text, unsigned long least, unsigned long most, unsigned long* value) {
    char* end = nullptr;
    *value = strtoul(text, &end, 10);
    return *text >= '0' && *text <= '9' && !*end && *value >= least && *value <= most;
}

}  // namespace

int main(int argc, char** argv) {
    bool echoBoxes = false;
    unsigned long maxEntries = kDefaultMaxEntries, timeout = 120;
    const char* scriptPath = nullptr;
    std::vector<std::string> open = {"open"};
    std::string ftpFlags;  // the Windows ftp command's one-letter options, in order
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
            if (i + 1 == argc) return UsageError("--max-entries needs a number", "");
            if (!ReadNumber(argv[++i], 1, kMostEntries, &maxEntries)) {
                fprintf(stderr, "ryftp: --max-entries takes 1 to %lu\n", kMostEntries);
                return 2;
            }
        } else if (strcmp(arg, "--timeout") == 0) {
            if (i + 1 == argc) return UsageError("--timeout needs a number of seconds", "");
            if (!ReadNumber(argv[++i], 0, kMostSeconds, &timeout)) {
                fprintf(stderr, "ryftp: --timeout takes 0 to %lu seconds\n", kMostSeconds);
                return 2;
            }
        } else if (strncmp(arg, "-s:", 3) == 0 && arg[3]) {
            scriptPath = arg + 3;
        } else if (strncmp(arg, "-w:", 3) == 0 && arg[3]) {
            // ftp's buffer size: WININET sizes its own
        } else if (arg[0] == '-' && arg[1] && strspn(arg + 1, "vnidgAa") == strlen(arg + 1)) {
            ftpFlags += arg + 1;
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

    RyKitBuffer results;
    if (!RyKitReserve(&results, RYINET_LISTING_BYTES(maxEntries), &StopBeforeOverwrite, nullptr)) {
        fprintf(stderr, "ryftp: cannot reserve address space for %lu listing entries\n", maxEntries);
        return 2;
    }
    RyKitBoxWatch boxes;
    RyKitWatchBoxes(&boxes, echoBoxes ? &EchoBox : nullptr, nullptr);
    bool allOk = true;
    {
        Session session(GetConsoleWindow(), results, boxes, interactive);
        if (!interactive) session.answers = input;
        for (char flag : ftpFlags) {
            if (flag == 'v') session.verbose = false;
            if (flag == 'n') session.autoLogin = false;
            if (flag == 'i') session.prompting = false;
            if (flag == 'd') session.debugging = true;
            if (flag == 'g') session.globbing = false;
            if (flag == 'A') session.anonymous = true;  // -a (any local interface) changes nothing here
        }
        session.watchdog.timeoutSeconds = timeout;
        gRunning = &session.watchdog;
        SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
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
            allOk = session.runLine(line, !interactive) && allOk;
        }
        SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
        gRunning = nullptr;
    }  // the session's handles close before the buffer and the watch go
    RyKitStopWatching(&boxes);
    RyKitFree(&results);
    if (input != stdin) fclose(input);
    return allOk ? 0 : 1;
}
