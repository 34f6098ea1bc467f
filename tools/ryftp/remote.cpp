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
    s.say("%s\n", dir.empty() ? "current directory unknown" : Visible(dir).c_str());
    return !dir.empty();
}

// The library does not report a refused change: compare the directory before and after.
bool Cd(Session& s, const Args& a) {
    std::string before = CurrentRemoteDirectory(s);
    RyFSetDir(s.connection(), 0, a[0].c_str());
    std::string after = CurrentRemoteDirectory(s);
    bool stays = a[0] == "." || a[0] == before;
    if (after.empty() || (after == before && !stays)) {
        s.say("directory not changed\n");
        return false;
    }
    s.say("%s\n", Visible(after).c_str());
    return true;
}

bool List(Session& s, const Args& a) {
    LONG opened = RyKitBufferList(&s.results, s.connection(), s.owner, a.empty() ? nullptr : a[0].c_str());
    bool ok = opened == 0 ? PrintListing(s, s.results.data) : NothingMatched(s) && (s.say("no entries\n"), false);
    RyKitBufferDecommit(&s.results);
    return ok;
}

bool Mkdir(Session& s, const Args& a) {
    RyFtpMd(s.connection(), s.owner, a[0].c_str());
    return Reported(s, "created", "not created:", a[0]);
}

bool Rmdir(Session& s, const Args& a) {
    RyFtpRd(s.connection(), s.owner, a[0].c_str());
    return Reported(s, "removed", "not removed:", a[0]);
}

bool Delete(Session& s, const Args& a) {
    RyFDelFile(s.connection(), s.owner, a[0].c_str());
    return Reported(s, "deleted", "not deleted:", a[0]);
}

bool Rename(Session& s, const Args& a) {
    RyFRenFile(s.connection(), s.owner, a[0].c_str(), a[1].c_str());
    return Reported(s, "renamed", "not renamed:", a[0] + " to " + a[1]);
}

bool Quote(Session& s, const Args& a) {
    if (!s.connection()) return QuoteLogIn(s, a);
    std::string command = Joined(a);
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
