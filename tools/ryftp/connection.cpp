// The FTP connection: open, log in, close, and what status and ip tell of it.
#include <windows.h>
#include <psapi.h>
#include "commands.h"
#include "ryinet_kit.h"
#include "session.h"
#include "visible.h"

namespace ryftp {
namespace {

std::string Amount(size_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) sprintf(text, "%u KiB", static_cast<unsigned>(bytes / 1024));
    else sprintf(text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

}  // namespace

// A failed log-in keeps the host waiting for another.
bool LogIn(Session& s, const std::string& host, const std::string& user, std::string& password) {
    std::string server = host, name = user;  // they may be s.host and s.user, which closing clears
    s.closeConnection();
    if (s.watchdog.ending() != Watchdog::kRunning) {  // Ctrl-C at a prompt
        Wipe(password);
        return false;
    }
    s.watchdog.connecting();
    DWORD internet = RyINetOpen(s.owner), connection = 0;
    char refusal[RYKIT_REPLY_BYTES] = "";
    if (internet)
        connection = RyKitConnect(internet, s.owner, server.c_str(), name.c_str(), password.c_str(), s.passive,
                                  refusal, sizeof refusal);
    if (connection) RyKitLinkLoggedIn(&s.link, server.c_str(), name.c_str(), password.c_str(), s.passive);
    Wipe(password);
    std::string reply = refusal;
    s.handles.open(internet, connection);
    s.host = server;
    if (!connection) {
        s.handles.close(s.owner);
        if (reply.empty()) s.say("not connected to %s\n", server.c_str());
        else s.say("not connected to %s (%s)\n", server.c_str(), Visible(reply).c_str());
        if (RyKitWantsEncryption(reply.c_str()))
            s.say("the server asks for encryption (FTPS), which the system's internet library does not speak: "
                  "no password will log in\n");
        return false;
    }
    s.user = name;
    RyKitNamesLearn(&s.names, connection);
    s.say("connected to %s as %s\n", s.host.c_str(), s.user.c_str());
    return true;
}

namespace cmd {

bool Open(Session& s, const Args& a) {
    if (s.connection()) {
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
    if (!s.holdsHost()) return false;
    std::string password = a.size() > 1 ? a[1] : s.askPassword("Password: ");
    return LogIn(s, s.host, a[0], password);
}

bool Close(Session& s, const Args&) {
    if (!s.holdsHost()) return false;
    s.say("closed %s\n", s.host.c_str());
    s.closeConnection();
    return true;
}

bool Status(Session& s, const Args&) {
    if (s.connection())
        s.say("ftp: connected to %s as %s, in %s\n", s.host.c_str(), s.user.c_str(),
              Visible(s.nameText(CurrentRemoteDirectory(s))).c_str());
    else if (!s.host.empty())
        s.say("ftp: %s, not logged in\n", s.host.c_str());
    else
        s.say("ftp: not connected\n");
    s.say("data connections: %s\n", s.passive ? "passive (this machine opens them)" : "active (the server connects back)");
    if (s.connection())
        s.say("names: %s\n", s.names.encoding == RYKIT_NAMES_UTF8 ? "UTF-8 (the server says so)"
                             : s.names.encoding == RYKIT_NAMES_ANSI ? "the ANSI code page (a name was not UTF-8)"
                                                                   : "UTF-8 (every name so far is)");
    s.say("internet: %s\n", RyINetConn() ? "connected" : "not connected");
    s.say("dial-up: %s\n", s.link.dial ? s.dialEntry.c_str() : "none");
    s.say("retries: %u\n", s.link.retries);
    s.say("parallel: %u\n", s.parallel);
    SayPartials(s);
    s.say("result buffer: %s committed, %s reserved (%s)\n", Amount(RyKitBufferCommitted(&s.results)).c_str(),
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

}  // namespace cmd
}  // namespace ryftp
