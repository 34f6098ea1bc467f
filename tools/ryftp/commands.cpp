// ryftp's commands. They live in one table (name, arguments, help, whether they need a
// connection, handler), as the BSD ftp client keeps its commands; help and the argument
// checks read the table.
#include <windows.h>
#include <psapi.h>
#include <raserror.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include "input.h"
#include "ryinet.h"
#include "ryinet_listing.h"
#include "session.h"
#include "transfer.h"

namespace {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;  // its arguments: WORD is required, [WORD] optional
    const char* help;
    bool needsConnection;
    bool (*run)(Session&, const Args&);
};

void Wipe(std::string& secret) {
    if (!secret.empty()) SecureZeroMemory(&secret[0], secret.size());
    secret.clear();
}

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Texts the library copies into 257-byte fields.
bool FitsField(const std::string& text, const char* what) {
    if (text.size() <= 256) return true;
    printf("%s too long: at most 256 characters\n", what);
    return false;
}

std::string CurrentDirectory(Session& s) {
    char dir[260] = "";
    RyFtpCurDir(s.connection, s.owner, dir);
    return dir;
}

bool Open(Session& s, const Args& a) {
    if (s.connection) {
        printf("already connected to %s; close first\n", s.host.c_str());
        return false;
    }
    std::string user = a.size() > 1 ? a[1] : "anonymous";
    std::string password = a.size() > 2 ? a[2] : a.size() > 1 ? s.askPassword("Password: ") : "ryftp@";
    s.internet = RyINetOpen(s.owner);
    if (s.internet)
        s.connection = RyFtpConnect(s.internet, 0, s.owner, a[0].c_str(), user.c_str(), password.c_str());
    Wipe(password);
    if (!s.connection) {
        s.closeConnection();
        printf("not connected to %s\n", a[0].c_str());
        return false;
    }
    s.host = a[0];
    s.user = user;
    printf("connected to %s as %s\n", s.host.c_str(), s.user.c_str());
    return true;
}

bool Close(Session& s, const Args&) {
    printf("closed %s\n", s.host.c_str());
    s.closeConnection();
    return true;
}

bool Pwd(Session& s, const Args&) {
    std::string dir = CurrentDirectory(s);
    puts(dir.empty() ? "current directory unknown" : dir.c_str());
    return !dir.empty();
}

// The library does not report a refused change: compare the directory before and after.
bool Cd(Session& s, const Args& a) {
    std::string before = CurrentDirectory(s);
    RyFSetDir(s.connection, 0, a[0].c_str());
    std::string after = CurrentDirectory(s);
    bool stays = a[0] == "." || a[0] == before;
    if (after.empty() || (after == before && !stays)) {
        puts("directory not changed");
        return false;
    }
    puts(after.c_str());
    return true;
}

// Windows dir order: date, size or <DIR>, name (names last, so none is cut).
bool PrintListing(const char* text) {
    RyListingEntry e;
    const char* at = text;
    size_t sizeWidth = 5, count = 0;
    while (RyListingNext(&at, &e) == 1) {
        sizeWidth = std::max(sizeWidth, std::to_string(e.size).size());
        ++count;
    }
    at = text;
    while (RyListingNext(&at, &e) == 1)
        printf("%02u/%02u/%04u  %02u:%02u  %*s  %.*s\n", e.month, e.day, e.year, e.hour, e.minute,
               static_cast<int>(sizeWidth), e.isDirectory ? "<DIR>" : std::to_string(e.size).c_str(),
               static_cast<int>(e.nameLength), e.name);
    if (*at) {
        printf("unreadable listing text: %.60s\n", at);
        return false;
    }
    puts(Plural(count, "entry", "entries").c_str());
    return true;
}

bool List(Session& s, const Args& a) {
    LONG opened = RyFtpDir(s.connection, s.owner, a.empty() ? nullptr : a[0].c_str(), 0, s.results.data());
    s.checkFits("the listing");
    bool ok = opened == 0 ? PrintListing(s.results.data()) : (puts("no entries"), false);
    s.results.release();
    return ok;
}

// The four operations the library reports only by a box.
bool Reported(Session& s, const char* done, const char* refused, const std::string& what) {
    bool ok = s.boxes.shownSinceStart() == 0;
    printf("%s %s\n", ok ? done : refused, what.c_str());
    return ok;
}

bool Mkdir(Session& s, const Args& a) {
    RyFtpMd(s.connection, s.owner, a[0].c_str());
    return Reported(s, "created", "not created:", a[0]);
}

bool Rmdir(Session& s, const Args& a) {
    RyFtpRd(s.connection, s.owner, a[0].c_str());
    return Reported(s, "removed", "not removed:", a[0]);
}

bool Delete(Session& s, const Args& a) {
    RyFDelFile(s.connection, s.owner, a[0].c_str());
    return Reported(s, "deleted", "not deleted:", a[0]);
}

bool Rename(Session& s, const Args& a) {
    RyFRenFile(s.connection, s.owner, a[0].c_str(), a[1].c_str());
    return Reported(s, "renamed", "not renamed:", a[0] + " to " + a[1]);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Get(Session& s, const Args& a) {
    std::string local = a.size() > 1 ? a[1] : BaseName(a[0]);
    if (local.empty()) {
        puts("give a local name: get REMOTE LOCAL");
        return false;
    }
    return GetFile(s.connection, s.owner, a[0], local, true);
}

bool Put(Session& s, const Args& a) {
    return PutFile(s.connection, a[0], a.size() > 1 ? a[1] : BaseName(a[0]));
}

std::string Amount(size_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) sprintf(text, "%u KiB", static_cast<unsigned>(bytes / 1024));
    else sprintf(text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

bool Status(Session& s, const Args&) {
    if (s.connection)
        printf("ftp: connected to %s as %s, in %s\n", s.host.c_str(), s.user.c_str(), CurrentDirectory(s).c_str());
    else
        puts("ftp: not connected");
    printf("internet: %s\n", RyINetConn() ? "connected" : "not connected");
    printf("dial-up: %s\n", s.dial ? s.dialEntry.c_str() : "none");
    printf("result buffer: %s committed, %s reserved (%s)\n", Amount(s.results.committed()).c_str(),
           Amount(s.results.size()).c_str(),
           Plural((s.results.size() - 1) / kListingRecordBytes, "listing entry", "listing entries").c_str());
    PROCESS_MEMORY_COUNTERS memory = {};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        printf("memory: working set %s, peak %s\n", Amount(memory.WorkingSetSize).c_str(),
               Amount(memory.PeakWorkingSetSize).c_str());
    return true;
}

bool Ip(Session&, const Args&) {
    char address[16] = "";
    if (RyGetIp(address, nullptr) != 0) {
        puts("no address: the local name did not resolve");
        return false;
    }
    puts(address[0] ? address : "no address listed");
    return true;
}

bool PhonebookEntries(Session& s, const Args&) {
    RyRasEnumE(0, s.results.data());
    s.checkFits("the phonebook");
    size_t count = 0;
    for (const char* name = s.results.data(); *name; ++count) {
        const char* end = strchr(name, ';');
        if (!end) end = name + strlen(name);
        printf("  %.*s\n", static_cast<int>(end - name), name);
        name = *end ? end + 1 : end;
    }
    puts(count ? Plural(count, "entry", "entries").c_str() : "no entries");
    s.results.release();
    return true;
}

// The entry's stored user name and password. Untouched buffers hold no terminator: the
// sentinel tells "no such entry" from an empty user name, and a password not returned
// from an empty one.
struct StoredCredentials {
    char user[257], password[257];
    bool found, saved;
    explicit StoredCredentials(const std::string& entry) {
        memset(user, 0xA5, sizeof user);
        memset(password, 0xA5, sizeof password);
        RdlParms(entry.c_str(), user, password);
        found = memchr(user, 0, sizeof user) != nullptr;
        saved = memchr(password, 0, sizeof password) != nullptr;
    }
    ~StoredCredentials() {
        SecureZeroMemory(user, sizeof user);
        SecureZeroMemory(password, sizeof password);
    }
};

bool Creds(Session&, const Args& a) {
    if (!FitsField(a[0], "entry name")) return false;
    StoredCredentials stored(a[0]);
    if (!stored.found) {
        printf("no such entry: %s\n", a[0].c_str());
        return false;
    }
    printf("%s: user \"%s\", password %s\n", a[0].c_str(), stored.user, stored.saved ? "(saved)" : "(none)");
    return true;
}

bool Dial(Session& s, const Args& a) {
    if (s.dial) {
        printf("already dialed %s; hangup first\n", s.dialEntry.c_str());
        return false;
    }
    if (!FitsField(a[0], "entry name")) return false;
    std::string user, password;
    if (a.size() > 1) {
        user = a[1];
        password = a.size() > 2 ? a[2] : s.askPassword("Password: ");
    } else {
        StoredCredentials stored(a[0]);
        if (!stored.found) {
            printf("no such entry: %s\n", a[0].c_str());
            return false;
        }
        user = stored.user;
        password = stored.saved ? stored.password : s.askPassword("Password: ");
    }
    DWORD connection = 0;
    if (FitsField(user, "user name") && FitsField(password, "password"))
        connection = RyRasDial(s.owner, a[0].c_str(), user.c_str(), password.c_str());
    Wipe(password);
    if (!connection) {
        printf("dial failed: %s\n", a[0].c_str());
        return false;
    }
    s.dial = reinterpret_cast<HRASCONN>(connection);
    s.dialEntry = a[0];
    printf("dialed %s\n", a[0].c_str());
    return true;
}

// The dial's handle is ours: the library offers no hang-up.
bool HangUp(Session& s, const Args&) {
    if (!s.dial) {
        puts("no dial-up connection");
        return false;
    }
    DWORD error = RasHangUpA(s.dial);
    // RAS asks the caller to wait until the connection is really gone.
    for (int waited = 0; error == 0 && waited < 3000; waited += 50) {
        RASCONNSTATUSA status = {};
        status.dwSize = sizeof status;
        if (RasGetConnectStatusA(s.dial, &status) == ERROR_INVALID_HANDLE) break;
        Sleep(50);
    }
    s.dial = nullptr;
    if (error) printf("hang-up of %s failed: RAS error %lu\n", s.dialEntry.c_str(), error);
    else printf("hung up %s\n", s.dialEntry.c_str());
    return error == 0;
}

bool Help(Session&, const Args& a);

bool Bye(Session& s, const Args&) {
    s.finished = true;
    return true;
}

const Command kCommands[] = {
    {"open", "HOST [USER [PASSWORD]]", "connect to an FTP server (no USER: anonymous)", false, Open},
    {"close", "", "end the FTP connection", true, Close},
    {"pwd", "", "show the remote directory", true, Pwd},
    {"cd", "DIR", "change the remote directory", true, Cd},
    {"ls", "[PATTERN]", "list the remote directory", true, List},
    {"dir", "[PATTERN]", "the same as ls", true, List},
    {"mkdir", "DIR", "create a remote directory", true, Mkdir},
    {"rmdir", "DIR", "remove a remote directory", true, Rmdir},
    {"delete", "FILE", "delete a remote file", true, Delete},
    {"rename", "OLD NEW", "rename a remote file", true, Rename},
    {"get", "REMOTE [LOCAL]", "receive a file", true, Get},
    {"put", "LOCAL [REMOTE]", "send a file", true, Put},
    {"status", "", "show the connections and memory", false, Status},
    {"ip", "", "show this machine's IP address", false, Ip},
    {"phonebook", "", "list the dial-up phonebook's entries", false, PhonebookEntries},
    {"creds", "ENTRY", "show an entry's stored user name", false, Creds},
    {"dial", "ENTRY [USER [PASSWORD]]", "dial an entry (no USER: the stored ones)", false, Dial},
    {"hangup", "", "hang up the last dial", false, HangUp},
    {"help", "[COMMAND]", "list the commands, or show one", false, Help},
    {"bye", "", "close everything and leave", false, Bye},
    {"quit", "", "the same as bye", false, Bye},
};

const Command* Find(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// The argument words of a usage text: how many are required, how many allowed, and
// which one is a password.
struct Arity {
    size_t least = 0, most = 0;
    size_t secret = SIZE_MAX;
};

Arity ArityOf(const char* usage) {
    Arity a;
    std::vector<std::string> words;
    SplitWords(usage, &words);
    bool optional = false;
    for (std::string w : words) {
        optional = optional || w[0] == '[';
        w.erase(0, w.find_first_not_of('['));
        w.erase(w.find_last_not_of(']') + 1);
        if (w == "PASSWORD") a.secret = a.most;
        if (!optional) ++a.least;
        ++a.most;
    }
    return a;
}

void PrintUsage(const Command& c) { printf("  %-10s %-25s %s\n", c.name, c.usage, c.help); }

bool Help(Session&, const Args& a) {
    if (a.empty()) {
        PrintCommandHelp();
        return true;
    }
    const Command* c = Find(a[0]);
    if (!c) {
        printf("unknown command: %s\n", a[0].c_str());
        return false;
    }
    PrintUsage(*c);
    return true;
}

}  // namespace

void PrintCommandHelp() {
    for (const Command& c : kCommands) PrintUsage(c);
}

std::string EchoLine(const std::vector<std::string>& words) {
    const Command* c = words.empty() ? nullptr : Find(words[0]);
    size_t secret = c ? ArityOf(c->usage).secret : SIZE_MAX;  // counted from the first argument
    std::string line;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (i) line += ' ';
        if (i > 0 && i - 1 == secret) line += "****";
        else if (w.empty() || w.find_first_of(" \t") != std::string::npos) line += '"' + w + '"';
        else line += w;
    }
    return line;
}

bool Session::run(const std::vector<std::string>& words) {
    const Command* c = Find(words[0]);
    if (!c) {
        printf("unknown command: %s (help lists the commands)\n", words[0].c_str());
        return false;
    }
    Args args(words.begin() + 1, words.end());
    Arity arity = ArityOf(c->usage);
    if (args.size() < arity.least || args.size() > arity.most) {
        printf("usage: %s%s%s\n", c->name, *c->usage ? " " : "", c->usage);
        return false;
    }
    if (c->needsConnection && !connection) {
        puts("not connected: open HOST first");
        return false;
    }
    boxes.startCommand();
    bool ok = c->run(*this, args);
    fflush(stdout);
    return ok && boxes.shownSinceStart() == 0;
}

Session::~Session() { closeConnection(); }

void Session::closeConnection() {
    if (connection) RyINetClose(connection, owner);
    if (internet) RyINetClose(internet, owner);
    connection = internet = 0;
    host.clear();
    user.clear();
}

std::string Session::askPassword(const char* prompt) const {
    return interactive ? ReadSecret(prompt) : std::string();
}

void Session::checkFits(const char* what) const {
    if (results.textLength() >= results.size()) {
        printf("%s does not fit: ", what);
        StopBeforeOverwrite(results.size());
    }
}
