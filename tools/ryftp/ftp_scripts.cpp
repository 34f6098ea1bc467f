// The commands of the Windows ftp command that its scripts use, so an `ftp -s:` job runs
// under ryftp unchanged. Names from a listing are the server's: they are printed through
// Visible and never used as a local path before UnsafeLocalName has looked at them.
#include <windows.h>
#include <wininet.h>
#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include "commands.h"
#include "ryinet_kit.h"
#include "ryinet_listing.h"
#include "session.h"
#include "transfer.h"
#include "visible.h"

namespace {

// Why a name from a listing must not become a local file name, or null when it may.
// Windows would take ':' as a drive or a stream, drop a last dot or blank, and open
// a device for CON, NUL, COM1 and the like, whatever the extension.
const char* UnsafeLocalName(const std::string& name) {
    if (name.empty()) return "an empty name";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) return "it holds control bytes";
    if (name.find_first_of("/\\") != std::string::npos) return "it holds a path separator";
    if (name.find(':') != std::string::npos) return "it names a drive or a stream";
    if (name.find_first_not_of('.') == std::string::npos) return "it names a directory";
    if (name.find_first_of("<>\"|?*") != std::string::npos) return "Windows names cannot hold <>\"|?*";
    if (name.back() == '.' || name.back() == ' ') return "Windows would drop its last dot or blank";
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
                    stem[3] >= '1' && stem[3] <= '9';
    if (numbered || std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices))
        return "it names a device";
    return nullptr;
}

// "pub/*.txt" lists names inside pub/: the remote path of each is that part and the name.
std::string RemoteDirectory(const std::string& pattern) {
    size_t slash = pattern.rfind('/');
    return slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
}

// The files a listing of the pattern names, in the server's order. Directories are
// skipped with a line, and so, for local names, is each name UnsafeLocalName refuses.
// False, after saying so, when nothing matched or a name was refused.
bool RemoteFiles(Session& s, const std::string& pattern, bool localNames, std::vector<std::string>* names) {
    names->clear();
    LONG opened = RyFtpDir(s.connection, s.owner, pattern.c_str(), 0, s.results.data);
    s.checkFits("the listing");
    RyListingEntry e;
    const char* at = s.results.data;
    bool refused = false;
    while (opened == 0 && RyListingNext(&at, &e) == 1) {
        std::string name(e.name, e.nameLength);
        const char* unsafe = localNames ? UnsafeLocalName(name) : nullptr;
        if (e.isDirectory) s.say("skipped %s: a directory\n", Visible(name).c_str());
        else if (unsafe) s.say("skipped %s: %s\n", Visible(name).c_str(), unsafe);
        else names->push_back(name);
        refused = refused || (unsafe && !e.isDirectory);
    }
    bool unreadable = opened == 0 && *at;
    if (unreadable) s.say("unreadable listing text: %s\n", Visible(at, strnlen(at, 60)).c_str());
    RyKitRelease(&s.results);
    if (opened != 0) s.say("no files match %s\n", pattern.c_str());
    return opened == 0 && !unreadable && !refused;
}

enum Choice { kYes, kNo, kQuit };

// ftp's question for each file while prompting is on: y (or an empty line), n, a (this
// and all the rest), q (stop here). In a script the answer is the script's next line.
Choice Confirm(Session& s, const char* verb, const std::string& name, bool* all) {
    if (!s.prompting || *all) return kYes;
    std::string answer;
    if (!s.answer((std::string(verb) + " " + name + "? ").c_str(), false, &answer)) return kQuit;
    size_t at = answer.find_first_not_of(" \t");
    int c = at == std::string::npos ? 'y' : tolower(static_cast<unsigned char>(answer[at]));
    if (c == 'a') *all = true;
    return c == 'n' ? kNo : c == 'q' ? kQuit : kYes;
}

// act(remote path, name) for each file the patterns' listings name, asked for first while
// prompting is on; q stops them all. False when a listing or an act failed.
template <typename Act>
bool EachRemoteFile(Session& s, const Args& patterns, const char* verb, bool localNames, Act act) {
    bool ok = true, all = false;
    std::vector<std::string> names;
    for (const std::string& pattern : patterns) {
        ok = RemoteFiles(s, pattern, localNames, &names) && ok;
        for (const std::string& name : names) {
            Choice choice = Confirm(s, verb, Visible(name), &all);
            if (choice == kQuit) return ok;
            if (choice == kYes) ok = act(RemoteDirectory(pattern) + name, name) && ok;
        }
    }
    return ok;
}

// The local files a pattern matches, sorted; with globbing off, or no wildcard, the
// name itself.
std::vector<std::string> LocalFiles(const std::string& pattern, bool globbing) {
    std::vector<std::string> paths;
    if (!globbing || pattern.find_first_of("*?") == std::string::npos) return {pattern};
    size_t slash = pattern.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA(pattern.c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &f))
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) paths.push_back(dir + f.cFileName);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Words joined by blanks, those with blanks of their own in double quotes.
std::string Joined(const Args& a) {
    std::string line;
    for (const std::string& w : a) {
        if (!line.empty()) line += ' ';
        line += w.find_first_of(" \t") == std::string::npos ? w : '"' + w + '"';
    }
    return line;
}

HINTERNET Handle(DWORD connection) { return reinterpret_cast<HINTERNET>(static_cast<ULONG_PTR>(connection)); }

DWORD TransferType(const Session& s) { return s.ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY; }

std::string LastReply() {
    char reply[RYKIT_REPLY_BYTES];
    RyKitReadReply(reply, sizeof reply);
    return reply;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

// A -n script may log in by hand, "quote USER NAME" and then "quote PASS PASSWORD": the
// library logs in as it connects, so the name waits for the password.
bool QuoteLogIn(Session& s, const Args& a) {
    std::string verb = Upper(a[0]);
    if (s.host.empty()) {
        s.say("not connected: open HOST first\n");
        return false;
    }
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

const char* OnOff(bool on) { return on ? "on" : "off"; }

}  // namespace

bool Lcd(Session& s, const Args& a) {
    if (!a.empty() && !SetCurrentDirectoryA(a[0].c_str())) {
        s.say("local directory not changed: %s (error %lu)\n", a[0].c_str(), GetLastError());
        return false;
    }
    char dir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof dir, dir);
    s.say("local directory now %s\n", dir);
    return true;
}

bool Mget(Session& s, const Args& a) {
    return EachRemoteFile(s, a, "mget", true,
                          [&s](const std::string& path, const std::string& name) { return Receive(s, path, name); });
}

bool Mput(Session& s, const Args& a) {
    bool ok = true, all = false;
    for (const std::string& pattern : a) {
        std::vector<std::string> paths = LocalFiles(pattern, s.globbing);
        if (paths.empty()) {
            s.say("no local files match %s\n", pattern.c_str());
            ok = false;
        }
        for (const std::string& path : paths) {
            Choice choice = Confirm(s, "mput", path, &all);
            if (choice == kQuit) return ok;
            if (choice == kYes) ok = PutFile(s.connection, path, BaseName(path), s.out, TransferType(s), &s.watchdog) && ok;
        }
    }
    return ok;
}

bool Mdelete(Session& s, const Args& a) {
    return EachRemoteFile(s, a, "mdelete", false, [&s](const std::string& path, const std::string&) {
        int boxes = s.boxes.shown;
        RyFDelFile(s.connection, s.owner, path.c_str());
        bool deleted = s.boxes.shown == boxes;
        s.say("%s %s\n", deleted ? "deleted" : "not deleted:", Visible(path).c_str());
        return deleted;
    });
}

// WININET has no append of its own, and Wine's FtpCommandA opens no data connection for
// APPE: ryftp reads the remote file, adds the local one, and sends the whole back.
bool Append(Session& s, const Args& a) {
    std::string remote = a.size() > 1 ? a[1] : BaseName(a[0]);
    HANDLE local = CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (local == INVALID_HANDLE_VALUE) {
        s.say("no such local file: %s\n", a[0].c_str());
        return false;
    }
    char dir[MAX_PATH], temp[MAX_PATH];
    bool ok = GetTempPathA(sizeof dir, dir) && GetTempFileNameA(dir, "rya", 0, temp);
    std::string why;
    if (ok && !FtpGetFileA(Handle(s.connection), remote.c_str(), temp, FALSE, FILE_ATTRIBUTE_NORMAL,
                           FTP_TRANSFER_TYPE_BINARY, 0)) {
        std::string reply = LastReply();
        ok = reply.compare(0, 3, "550") == 0;  // no such file yet: append makes it
        if (!ok) why = "cannot read " + remote + " (" + Visible(reply) + ")";
    }
    HANDLE whole = ok ? CreateFileA(temp, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr) : INVALID_HANDLE_VALUE;
    if (ok && whole == INVALID_HANDLE_VALUE) ok = false;
    ULONGLONG added = 0;
    char block[64 * 1024];
    DWORD got, written;
    while (ok && (ok = ReadFile(local, block, sizeof block, &got, nullptr)) && got) {
        ok = WriteFile(whole, block, got, &written, nullptr) && written == got;
        added += got;
    }
    if (!ok && why.empty()) why = "error " + std::to_string(GetLastError());
    CloseHandle(local);
    if (whole != INVALID_HANDLE_VALUE) CloseHandle(whole);
    if (ok && !FtpPutFileA(Handle(s.connection), temp, remote.c_str(), TransferType(s), 0)) {
        char reply[RYKIT_REPLY_BYTES];
        DWORD error = RyKitLastReply(reply, sizeof reply);
        why = reply[0] ? Visible(reply) : "WININET error " + std::to_string(error);
        ok = false;
    }
    DeleteFileA(temp);
    if (ok) s.say("appended %s to %s: %llu bytes\n", a[0].c_str(), remote.c_str(), added);
    else s.say("not appended: %s (%s)\n", a[0].c_str(), why.c_str());
    return ok;
}

bool Prompt(Session& s, const Args&) {
    s.prompting = !s.prompting;
    s.say("prompting %s\n", OnOff(s.prompting));
    return true;
}

bool Binary(Session& s, const Args&) {
    s.ascii = false;
    s.say("transfers in binary\n");
    return true;
}

bool Ascii(Session& s, const Args&) {
    s.ascii = true;
    s.say("transfers in ascii: get turns LF line ends into CRLF, put sends in ASCII type\n");
    return true;
}

bool Type(Session& s, const Args& a) {
    std::string type = a.empty() ? "" : Upper(a[0]);
    if (type == "BINARY") return Binary(s, a);
    if (type == "ASCII") return Ascii(s, a);
    if (!type.empty()) {
        s.say("usage: type [binary|ascii]\n");
        return false;
    }
    s.say("transfers in %s\n", s.ascii ? "ascii" : "binary");
    return true;
}

bool Hash(Session& s, const Args&) {
    s.hash = !s.hash;
    s.say("hash marks %s (one for every %u bytes received)\n", OnOff(s.hash), kHashBytes);
    return true;
}

bool Verbose(Session& s, const Args&) {
    s.verbose = !s.verbose;
    s.say("verbose %s\n", OnOff(s.verbose));
    return true;
}

bool Quote(Session& s, const Args& a) {
    if (!s.connection) return QuoteLogIn(s, a);
    std::string command = Joined(a);
    if (s.debugging) s.say("---> %s\n", Upper(a[0]) == "PASS" ? "PASS ****" : command.c_str());
    BOOL accepted = FtpCommandA(Handle(s.connection), FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr);
    DWORD error = GetLastError();
    std::string reply = Visible(LastReply());
    if (accepted && s.verbose) s.say("%s\n", reply.c_str());
    if (!accepted) s.say("refused: %s\n", reply.empty() ? ("WININET error " + std::to_string(error)).c_str() : reply.c_str());
    return accepted != FALSE;
}

bool Shell(Session& s, const Args& a) {
    if (a.empty() && !s.interactive) {
        s.say("! needs a command in a script\n");
        return false;
    }
    fflush(s.out);
    fflush(stdout);
    int status = system(a.empty() ? "cmd.exe" : Joined(a).c_str());
    if (status == -1) s.say("cannot run: %s\n", Joined(a).c_str());
    else if (status != 0) s.say("local command exited %d\n", status);
    return status == 0;
}
