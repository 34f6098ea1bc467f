// ryftp's command line: its own options and those of the Windows ftp command.
#pragma once
#include <string>
#include <vector>
#include "ryinet_kit.h"

namespace ryftp {

struct Session;

struct Options {
    bool echoBoxes = false;
    unsigned long maxEntries = 1000000;
    unsigned long timeoutSeconds = 120;
    unsigned long maxTimeSeconds = 0;
    unsigned long retries = RYKIT_RETRIES;  // --retries: a broken transfer or connection tried again
    unsigned long parallel = RYKIT_PARALLEL;  // --parallel: files an mget, mput or mdelete moves at once
    bool active = false;  // --active: the server opens the data connections
    const char* scriptPath = nullptr;
    std::vector<std::string> open = {"open"};  // "open HOST [USER [PASSWORD]]" when a host was given
    std::string ftpFlags;                      // the Windows ftp command's one-letter options, in order
};

// Reads argv into options. Returns -1 to go on, or the exit status: 0 after --help or
// --version, 2 after a usage error (said on stderr).
int ReadOptions(int argc, char** argv, Options* options);
// Says what was wrong, and the usage, on stderr; the exit status for a usage error.
int UsageError(const char* what, const char* arg);
// The Windows ftp command's one-letter options, as the session's settings.
void ApplyFtpFlags(const std::string& flags, Session& s);

}  // namespace ryftp
