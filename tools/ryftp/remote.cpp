// The server's directories and files: where we are, what is there, and the operations
// the library reports only by a box.
#include <windows.h>
#include <wininet.h>
#include <string.h>
#include <algorithm>
#include "command_table.h"
#include "ryinet_kit.h"
#include "ryinet_listing.h"
#include "session.h"
#include "visible.h"

namespace ryftp {
namespace {

// Windows dir order: date, size or <DIR>, name (names last, so none is cut, and a name
// that grows as its control bytes are shown moves no column).
bool PrintListing(Session& s, const char* text) {
    RyListingEntry e;
    const char* at = text;
    size_t sizeWidth = 5, count = 0;
    while (RyListingNext(&at, &e) == 1) {  // every name is seen before any is shown
        sizeWidth = std::max(sizeWidth, std::to_string(e.size).size());
        RyKitNamesSaw(&s.names, e.name, e.nameLength);
        ++count;
    }
    at = text;
    while (RyListingNext(&at, &e) == 1)
        s.say("%02u/%02u/%04u  %02u:%02u  %*s  %s\n", e.month, e.day, e.year, e.hour, e.minute,
              static_cast<int>(sizeWidth), e.isDirectory ? "<DIR>" : std::to_string(e.size).c_str(),
              Visible(s.nameText(e.name, e.nameLength)).c_str());
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

// A -n script may log in by hand, "quote USER NAME" and then "quote PASS PASSWORD": the
// library logs in as it connects, so the name waits for the password.
bool QuoteLogIn(Session& s, const Args& a) {
    std::string verb = Upper(a[0]);
    if (!s.holdsHost()) return false;
    if (verb == "USER" && a.size() == 2) {
        s.user = a[1];
        s.say("user %s: quote PASS PASSWORD logs in\n", s.user.c_str());
        return true;
    }
    if (verb == "PASS" && !s.user.empty()) {
        std::string password = a.size() > 1 ? a[1] : "";
        return LogIn(s, s.host, s.user, password);
    }
    s.say("not logged in to %s: user NAME [PASSWORD] first\n", s.host.c_str());
    return false;
}

}  // namespace

namespace cmd {

bool Pwd(Session& s, const Args&) {
    std::string dir = CurrentRemoteDirectory(s);
    s.say("%s\n", dir.empty() ? "current directory unknown" : Visible(s.nameText(dir)).c_str());
    return !dir.empty();
}

// The library does not report a refused change: compare the directory before and after.
bool Cd(Session& s, const Args& a) {
    std::string dir;
    if (!s.serverName(a[0], &dir)) return false;
    std::string before = CurrentRemoteDirectory(s);
    RyFSetDir(s.connection(), 0, dir.c_str());
    std::string after = CurrentRemoteDirectory(s);
    bool stays = dir == "." || dir == before;
    if (after.empty() || (after == before && !stays)) {
        s.say("directory not changed\n");
        return false;
    }
    // A connection opened again, and each of a batch's, goes back there.
    lstrcpynA(s.link.directory, after.c_str(), sizeof s.link.directory);
    s.say("%s\n", Visible(s.nameText(after)).c_str());
    return true;
}

bool List(Session& s, const Args& a) {
    std::string pattern;
    if (!a.empty() && !s.serverName(a[0], &pattern)) return false;
    LONG opened = RyKitBufferList(&s.results, s.connection(), s.owner, a.empty() ? nullptr : pattern.c_str());
    // Nothing listed is an empty directory, no failure; a listing that failed is one.
    bool ok = opened == 0 ? PrintListing(s, s.results.data) : NothingMatched(s) && (s.say("no entries\n"), true);
    RyKitBufferDecommit(&s.results);
    return ok;
}

// The three operations on one name that the library reports only by a box.
bool OnName(Session& s, const Args& a, LONG(WINAPI* call)(DWORD, HWND, LPCSTR), const char* done,
            const char* refused) {
    std::string name;
    if (!s.serverName(a[0], &name)) return false;
    call(s.connection(), s.owner, name.c_str());
    return Reported(s, done, refused, a[0]);
}

bool Mkdir(Session& s, const Args& a) { return OnName(s, a, &RyFtpMd, "created", "not created:"); }
bool Rmdir(Session& s, const Args& a) { return OnName(s, a, &RyFtpRd, "removed", "not removed:"); }
bool Delete(Session& s, const Args& a) { return OnName(s, a, &RyFDelFile, "deleted", "not deleted:"); }

bool Rename(Session& s, const Args& a) {
    std::string from, to;
    if (!s.serverName(a[0], &from) || !s.serverName(a[1], &to)) return false;
    RyFRenFile(s.connection(), s.owner, from.c_str(), to.c_str());
    return Reported(s, "renamed", "not renamed:", a[0] + " to " + a[1]);
}

bool Quote(Session& s, const Args& a) {
    if (!s.connection()) return QuoteLogIn(s, a);
    std::string command;
    if (!s.serverName(Joined(a), &command)) return false;
    if (s.debugging) {  // as the transcript shows it: a password as ****
        Args words{"quote"};
        words.insert(words.end(), a.begin(), a.end());
        s.say("---> %s\n", EchoLine(words).substr(6).c_str());
    }
    BOOL accepted = FtpCommandA(RyKitInternetHandle(s.connection()), FALSE, FTP_TRANSFER_TYPE_BINARY,
                                command.c_str(), 0, nullptr);
    DWORD error = GetLastError();
    std::string reply = Visible(LastReply());
    if (accepted && s.verbose) s.say("%s\n", reply.c_str());
    if (!accepted) s.say("refused: %s\n", (reply.empty() ? WhyNot("", error) : reply).c_str());
    return accepted != FALSE;
}

}  // namespace cmd
}  // namespace ryftp
