#include "commands.h"
#include <windows.h>
#include <psapi.h>
#include <string.h>
#include <algorithm>
#include "ryinet_kit.h"
#include "ryinet_listing.h"
#include "session.h"
#include "transfer.h"
#include "visible.h"

namespace {

void Wipe(std::string& secret) {
    if (!secret.empty()) SecureZeroMemory(&secret[0], secret.size());
    secret.clear();
}

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Texts the library copies into fields of RYINET_CREDENTIAL_BYTES, terminator included.
bool FitsField(Session& s, const std::string& text, const char* what) {
    if (text.size() < RYINET_CREDENTIAL_BYTES) return true;
    s.say("%s too long: at most %d characters\n", what, RYINET_CREDENTIAL_BYTES - 1);
    return false;
}

std::string CurrentDirectory(Session& s) {
    char dir[RYINET_CURDIR_BYTES] = "";
    RyFtpCurDir(s.connection, s.owner, dir);
    return dir;
}

// Windows dir order: date, size or <DIR>, name (names last, so none is cut, and a name
// that grows as its control bytes are shown moves no column).
bool PrintListing(Session& s, const char* text) {
    RyListingEntry e;
    const char* at = text;
    size_t sizeWidth = 5, count = 0;
    while (RyListingNext(&at, &e) == 1) {
        sizeWidth = std::max(sizeWidth, std::to_string(e.size).size());
        ++count;
    }
    at = text;
    while (RyListingNext(&at, &e) == 1)
        s.say("%02u/%02u/%04u  %02u:%02u  %*s  %s\n", e.month, e.day, e.year, e.hour, e.minute,
              static_cast<int>(sizeWidth), e.isDirectory ? "<DIR>" : std::to_string(e.size).c_str(),
              Visible(e.name, e.nameLength).c_str());
    if (*at) {
        s.say("unreadable listing text: %s\n", Visible(at, strnlen(at, 60)).c_str());
        return false;
    }
    s.say("%s\n", Plural(count, "entry", "entries").c_str());
    return true;
}

// The four operations the library reports only by a box.
bool Reported(Session& s, const char* done, const char* refused, const std::string& what) {
    bool ok = s.boxes.shown == 0;
    s.say("%s %s\n", ok ? done : refused, what.c_str());
    return ok;
}

std::string Amount(size_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) sprintf(text, "%u KiB", static_cast<unsigned>(bytes / 1024));
    else sprintf(text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

}  // namespace

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Receive(Session& s, const std::string& remote, const std::string& local) {
    if (!GetFile(s.connection, s.owner, remote, local, s.out, !s.hash, s.hash, &s.watchdog)) return false;
    return !s.ascii || ToCrlf(local, s.out);
}

// RyFtpConnect connects and logs in in one call, so a host waits in s.host, without a
// connection, until its user and password are known; a failed log-in keeps it waiting.
bool LogIn(Session& s, const std::string& host, const std::string& user, std::string& password) {
    std::string server = host, name = user;  // they may be s.host and s.user, which closing clears
    s.closeConnection();
    if (s.watchdog.ending() != Watchdog::kRunning) {  // Ctrl-C at a prompt
        Wipe(password);
        return false;
    }
    s.internet = RyINetOpen(s.owner);
    if (s.internet)
        s.connection = RyFtpConnect(s.internet, 0, s.owner, server.c_str(), name.c_str(), password.c_str());
    Wipe(password);
    if (!s.connection) {
        s.closeConnection();
        s.host = server;
        s.say("not connected to %s\n", server.c_str());
        return false;
    }
    s.host = server;
    s.user = name;
    s.say("connected to %s as %s\n", s.host.c_str(), s.user.c_str());
    return true;
}

bool Open(Session& s, const Args& a) {
    if (s.connection) {
        s.say("already connected to %s; close first\n", s.host.c_str());
        return false;
    }
    Args words = a;
    if (words.size() == 2 && words[1].find_first_not_of("0123456789") == std::string::npos) {
        if (words[1] != "21") {  // ftp's "open HOST PORT"
            s.say("the library connects to port 21 only\n");
            return false;
        }
        words.pop_back();
    }
    if (words.size() > 1 || s.anonymous) {
        std::string user = words.size() > 1 ? words[1] : "anonymous";
        std::string password = words.size() > 2 ? words[2] : words.size() > 1 ? s.askPassword("Password: ") : "ryftp@";
        return LogIn(s, words[0], user, password);
    }
    s.closeConnection();  // a host that waited for its log-in gives way
    s.host = words[0];
    if (!s.autoLogin) {
        s.say("%s: not connected yet; user NAME [PASSWORD] connects and logs in\n", s.host.c_str());
        return true;
    }
    std::string user;
    s.answer(("User (" + s.host + ":(none)): ").c_str(), false, &user);
    if (user.empty()) {
        s.say("not logged in to %s: no user name\n", s.host.c_str());
        return false;
    }
    std::string password = s.askPassword("Password: ");
    return LogIn(s, s.host, user, password);
}

bool User(Session& s, const Args& a) {
    if (s.host.empty()) {
        s.say("not connected: open HOST first\n");
        return false;
    }
    std::string password = a.size() > 1 ? a[1] : s.askPassword("Password: ");
    return LogIn(s, s.host, a[0], password);
}

bool Close(Session& s, const Args&) {
    if (s.host.empty()) {
        s.say("not connected: open HOST first\n");
        return false;
    }
    s.say("closed %s\n", s.host.c_str());
    s.closeConnection();
    return true;
}

bool Pwd(Session& s, const Args&) {
    std::string dir = CurrentDirectory(s);
    s.say("%s\n", dir.empty() ? "current directory unknown" : Visible(dir).c_str());
    return !dir.empty();
}

// The library does not report a refused change: compare the directory before and after.
bool Cd(Session& s, const Args& a) {
    std::string before = CurrentDirectory(s);
    RyFSetDir(s.connection, 0, a[0].c_str());
    std::string after = CurrentDirectory(s);
    bool stays = a[0] == "." || a[0] == before;
    if (after.empty() || (after == before && !stays)) {
        s.say("directory not changed\n");
        return false;
    }
    s.say("%s\n", Visible(after).c_str());
    return true;
}

bool List(Session& s, const Args& a) {
    LONG opened = RyFtpDir(s.connection, s.owner, a.empty() ? nullptr : a[0].c_str(), 0, s.results.data);
    s.checkFits("the listing");
    bool ok = opened == 0 ? PrintListing(s, s.results.data) : (s.say("no entries\n"), false);
    RyKitRelease(&s.results);
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

bool Get(Session& s, const Args& a) {
    std::string local = a.size() > 1 ? a[1] : BaseName(a[0]);
    if (local.empty()) {
        s.say("give a local name: get REMOTE LOCAL\n");
        return false;
    }
    return Receive(s, a[0], local);
}

bool Put(Session& s, const Args& a) {
    return PutFile(s.connection, a[0], a.size() > 1 ? a[1] : BaseName(a[0]), s.out,
                   s.ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY, &s.watchdog);
}

bool Status(Session& s, const Args&) {
    if (s.connection)
        s.say("ftp: connected to %s as %s, in %s\n", s.host.c_str(), s.user.c_str(),
              Visible(CurrentDirectory(s)).c_str());
    else if (!s.host.empty())
        s.say("ftp: %s, not logged in\n", s.host.c_str());
    else
        s.say("ftp: not connected\n");
    s.say("internet: %s\n", RyINetConn() ? "connected" : "not connected");
    s.say("dial-up: %s\n", s.dial ? s.dialEntry.c_str() : "none");
    s.say("result buffer: %s committed, %s reserved (%s)\n", Amount(RyKitCommitted(&s.results)).c_str(),
          Amount(s.results.size).c_str(),
          Plural((s.results.size - 1) / RYINET_LISTING_ENTRY_BYTES, "listing entry", "listing entries").c_str());
    PROCESS_MEMORY_COUNTERS memory = {};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        s.say("memory: working set %s, peak %s\n", Amount(memory.WorkingSetSize).c_str(),
              Amount(memory.PeakWorkingSetSize).c_str());
    return true;
}

bool Ip(Session& s, const Args&) {
    char address[RYINET_ADDRESS_BYTES] = "";
    if (RyGetIp(address, nullptr) != 0) {
        s.say("no address: the local name did not resolve\n");
        return false;
    }
    s.say("%s\n", address[0] ? address : "no address listed");
    return true;
}

bool PhonebookEntries(Session& s, const Args&) {
    RyRasEnumE(0, s.results.data);
    s.checkFits("the phonebook");
    size_t count = 0, length;
    const char *cursor = s.results.data, *name;
    for (; RyKitNextName(&cursor, &name, &length); ++count) s.say("  %s\n", Visible(name, length).c_str());
    s.say("%s\n", count ? Plural(count, "entry", "entries").c_str() : "no entries");
    RyKitRelease(&s.results);
    return true;
}

bool Creds(Session& s, const Args& a) {
    if (!FitsField(s, a[0], "entry name")) return false;
    RyKitCredentials stored;
    bool found = RyKitReadCredentials(&stored, a[0].c_str());
    if (found)
        s.say("%s: user \"%s\", password %s\n", a[0].c_str(), Visible(stored.user).c_str(),
              stored.passwordSaved ? "(saved)" : "(none)");
    else
        s.say("no such entry: %s\n", a[0].c_str());
    RyKitWipeCredentials(&stored);
    return found;
}

bool Dial(Session& s, const Args& a) {
    if (s.dial) {
        s.say("already dialed %s; hangup first\n", s.dialEntry.c_str());
        return false;
    }
    if (!FitsField(s, a[0], "entry name")) return false;
    std::string user, password;
    if (a.size() > 1) {
        user = a[1];
        password = a.size() > 2 ? a[2] : s.askPassword("Password: ");
    } else {
        RyKitCredentials stored;
        bool found = RyKitReadCredentials(&stored, a[0].c_str());
        user = stored.user;
        password = stored.passwordSaved ? stored.password : "";
        bool ask = found && !stored.passwordSaved;
        RyKitWipeCredentials(&stored);
        if (!found) {
            s.say("no such entry: %s\n", a[0].c_str());
            return false;
        }
        if (ask) password = s.askPassword("Password: ");
    }
    if (s.watchdog.ending() != Watchdog::kRunning) return false;  // Ctrl-C at the prompt
    DWORD connection = 0;
    if (FitsField(s, user, "user name") && FitsField(s, password, "password"))
        connection = RyRasDial(s.owner, a[0].c_str(), user.c_str(), password.c_str());
    Wipe(password);
    if (!connection) {
        s.say("dial failed: %s\n", a[0].c_str());
        return false;
    }
    s.dial = reinterpret_cast<HRASCONN>(connection);
    s.dialEntry = a[0];
    s.say("dialed %s\n", a[0].c_str());
    return true;
}

bool HangUp(Session& s, const Args&) {
    if (!s.dial) {
        s.say("no dial-up connection\n");
        return false;
    }
    DWORD error = RyKitHangUp(s.dial);
    s.dial = nullptr;
    if (error) s.say("hang-up of %s failed: RAS error %lu\n", s.dialEntry.c_str(), error);
    else s.say("hung up %s\n", s.dialEntry.c_str());
    return error == 0;
}

bool Help(Session& s, const Args& a) {
    if (a.empty()) {
        PrintCommandHelp(s.out);
        return true;
    }
    const Command* c = FindCommand(a[0]);
    if (!c) {
        s.say("unknown command: %s\n", a[0].c_str());
        return false;
    }
    PrintUsage(s.out, *c);
    return true;
}

bool Bye(Session& s, const Args&) {
    s.finished = true;
    return true;
}
