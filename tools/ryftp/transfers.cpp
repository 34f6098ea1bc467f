// Files both ways, one or many. get and mget receive what RYINET opened, through the
// host kit (NAME.part, renamed only when complete); put, mput and append go through
// WININET's own upload on the connection handle (the library has none). Names from a
// listing are the server's: they are printed through Visible and never used as a local
// path before UnsafeLocalName has looked at them.
#include <windows.h>
#include <wininet.h>
#include <ctype.h>
#include <string.h>
#include <algorithm>
#include <vector>
#include "command_table.h"
#include "progress.h"
#include "ryinet_kit.h"
#include "ryinet_listing.h"
#include "session.h"
#include "visible.h"

namespace ryftp {
namespace {

std::string Error(const char* what, const std::string& name, DWORD error) {
    return std::string(what) + " " + name + " (error " + std::to_string(error) + ")";
}

// Why a receive failed, as the transcript says it; part is the .part file as the user
// named the local file.
std::string Failure(RyKitOutcome outcome, const RyKitReceive& r, const std::string& remote,
                    const std::string& local, const std::string& part) {
    int code = RyKitReplyCode(r.reply);
    switch (outcome) {
    case RYKIT_NOT_OPENED: return "not received: " + remote;
    case RYKIT_NO_PART: return Error("cannot write", part, r.error);
    // The server's own word: a 426, or no final reply after the 150 that began it.
    case RYKIT_NOT_CONFIRMED:
        return "not received: " + remote + " (" +
               (!r.reply[0] ? "no reply after the transfer" : code >= 100 && code < 200 ? "no final reply after " : "") +
               Visible(r.reply) + ")";
    case RYKIT_BROKE_OFF: return "not received: " + remote + ": the transfer broke off: " + WhyNot(r.reply, r.error);
    case RYKIT_NOT_WRITTEN: return "not received: " + remote + ": " + Error("cannot write", part, r.error);
    case RYKIT_INCOMPLETE:
        return "not received: " + remote + ": the transfer ended after " + std::to_string(r.received) + " of " +
               std::to_string(r.expected) + " bytes";
    case RYKIT_CANCELLED: return "not received: " + remote + ": cancelled";
    case RYKIT_NOT_RENAMED: return "not received: " + remote + ": " + Error("cannot write", local, r.error);
    case RYKIT_TOO_LONG:
        return "not received: " + remote + ": more than the " + std::to_string(r.expected) + " bytes announced came";
    default: return "";
    }
}

// What a Windows client receives in ASCII type: each LF not already after a CR becomes
// CRLF. The file is rewritten through a new temporary file beside it; false, with the
// file as received, when that fails.
bool ToCrlf(Session& s, const std::string& local) {
    std::string path = s.localPath(local);
    size_t slash = path.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char temp[MAX_PATH];
    if (!GetTempFileNameA(dir.c_str(), "ry", 0, temp)) {
        s.say("%s: line ends not turned into CRLF (error %lu)\n", local.c_str(), GetLastError());
        return false;
    }
    HANDLE in = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE crlf = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    std::vector<char> block(64 * 1024), converted;
    ULONGLONG total = 0;
    bool afterCr = false, ok = in != INVALID_HANDLE_VALUE && crlf != INVALID_HANDLE_VALUE;
    DWORD got, written;
    while (ok && (ok = ReadFile(in, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) && got) {
        converted.clear();
        for (DWORD i = 0; i < got; ++i) {
            if (block[i] == '\n' && !afterCr) converted.push_back('\r');
            converted.push_back(block[i]);
            afterCr = block[i] == '\r';
        }
        DWORD size = static_cast<DWORD>(converted.size());
        ok = WriteFile(crlf, converted.data(), size, &written, nullptr) && written == size;
        total += size;
    }
    DWORD error = GetLastError();
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (crlf != INVALID_HANDLE_VALUE) CloseHandle(crlf);
    if (ok && !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp);
        s.say("%s: line ends not turned into CRLF (error %lu)\n", local.c_str(), error);
        return false;
    }
    s.say("%s: LF line ends turned into CRLF, now %llu bytes\n", local.c_str(), total);
    return true;
}

// get in the session's type: ASCII turns LF line ends into CRLF once received. False,
// with the local file as it was and no .part left, on failure.
bool Receive(Session& s, const std::string& remote, const std::string& local) {
    ProgressMeter meter(s);
    RyKitReceive r;
    std::string path = s.localPath(local);
    RyKitOutcome outcome = RyKitReceiveFile(s.connection(), s.owner, remote.c_str(), path.c_str(),
                                            &ProgressMeter::Update, &meter, &r);
    double seconds = meter.seconds();
    meter.finish(r.received, r.expected);
    std::string part = local + (strlen(r.part) > path.size() ? r.part + path.size() : "");
    if (outcome != RYKIT_RECEIVED) s.say("%s\n", Failure(outcome, r, remote, local, part).c_str());
    else if (r.received > 1024 * 1024)
        s.say("received %s: %llu bytes in %.2f s (%.1f MB/s)\n", local.c_str(), r.received, seconds,
              MBps(r.received, seconds));
    else
        s.say("received %s: %llu bytes\n", local.c_str(), r.received);
    return outcome == RYKIT_RECEIVED && (!s.ascii || ToCrlf(s, local));
}

bool Send(Session& s, const std::string& local, const std::string& remote) {
    std::string path = s.localPath(local);
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        s.say("no such local file: %s\n", local.c_str());
        return false;
    }
    if (!FtpPutFileA(RyKitInternetHandle(s.connection()), path.c_str(), remote.c_str(), s.transferType(), 0)) {
        char reply[RYKIT_REPLY_BYTES];
        DWORD error = RyKitWhyFailed(reply, sizeof reply);
        s.say("not sent: %s (%s)\n", local.c_str(), WhyNot(reply, error).c_str());
        return false;
    }
    ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    s.say("sent %s as %s: %llu bytes\n", local.c_str(), remote.c_str(), size);
    return true;
}

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
    std::string stem = Upper(name.substr(0, name.find('.')));
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
    LONG opened = RyKitBufferList(&s.results, s.connection(), s.owner, pattern.c_str());
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
    RyKitBufferDecommit(&s.results);
    if (opened != 0 && NothingMatched(s)) s.say("no files match %s\n", pattern.c_str());
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

// The local files a pattern matches, sorted, as the user would name them; with globbing
// off, or no wildcard, the name itself.
std::vector<std::string> LocalFiles(Session& s, const std::string& pattern) {
    std::vector<std::string> names;
    if (!s.globbing || pattern.find_first_of("*?") == std::string::npos) return {pattern};
    size_t slash = pattern.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA(s.localPath(pattern).c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &f))
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(dir + f.cFileName);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// The remote file as it is now (nothing when it is not there yet), then the local file,
// into temp.
bool Appended(Session& s, const std::string& local, const std::string& remote, const char* temp,
              ULONGLONG* added, std::string* why) {
    HANDLE in = CreateFileA(s.localPath(local).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        *why = "no such local file";
        return false;
    }
    bool ok = true;
    if (!FtpGetFileA(RyKitInternetHandle(s.connection()), remote.c_str(), temp, FALSE, FILE_ATTRIBUTE_NORMAL,
                     FTP_TRANSFER_TYPE_BINARY, 0)) {
        std::string reply = LastReply();
        ok = reply.compare(0, 3, "550") == 0;  // no such file yet: append makes it
        if (!ok) *why = "cannot read " + remote + " (" + Visible(reply) + ")";
    }
    HANDLE whole = ok ? CreateFileA(temp, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr) : INVALID_HANDLE_VALUE;
    ok = ok && whole != INVALID_HANDLE_VALUE;
    char block[64 * 1024];
    DWORD got, written;
    while (ok && (ok = ReadFile(in, block, sizeof block, &got, nullptr)) && got) {
        ok = WriteFile(whole, block, got, &written, nullptr) && written == got;
        *added += got;
    }
    if (!ok && why->empty()) *why = "error " + std::to_string(GetLastError());
    CloseHandle(in);
    if (whole != INVALID_HANDLE_VALUE) CloseHandle(whole);
    return ok;
}

}  // namespace

namespace cmd {

bool Get(Session& s, const Args& a) {
    std::string local = a.size() > 1 ? a[1] : BaseName(a[0]);
    if (local.empty()) {
        s.say("give a local name: get REMOTE LOCAL\n");
        return false;
    }
    return Receive(s, a[0], local);
}

bool Put(Session& s, const Args& a) { return Send(s, a[0], a.size() > 1 ? a[1] : BaseName(a[0])); }

// WININET has no append of its own, and Wine's FtpCommandA opens no data connection for
// APPE: ryftp reads the remote file, adds the local one, and sends the whole back.
bool Append(Session& s, const Args& a) {
    std::string remote = a.size() > 1 ? a[1] : BaseName(a[0]);
    char dir[MAX_PATH], temp[MAX_PATH];
    if (!GetTempPathA(sizeof dir, dir) || !GetTempFileNameA(dir, "rya", 0, temp)) {
        s.say("not appended: %s (error %lu)\n", a[0].c_str(), GetLastError());
        return false;
    }
    ULONGLONG added = 0;
    std::string why;
    bool ok = Appended(s, a[0], remote, temp, &added, &why);
    if (!ok && why == "no such local file") {
        DeleteFileA(temp);
        s.say("no such local file: %s\n", a[0].c_str());
        return false;
    }
    if (ok && !FtpPutFileA(RyKitInternetHandle(s.connection()), temp, remote.c_str(), s.transferType(), 0)) {
        char reply[RYKIT_REPLY_BYTES];
        DWORD error = RyKitWhyFailed(reply, sizeof reply);
        why = WhyNot(reply, error);
        ok = false;
    }
    DeleteFileA(temp);
    if (ok) s.say("appended %s to %s: %llu bytes\n", a[0].c_str(), remote.c_str(), added);
    else s.say("not appended: %s (%s)\n", a[0].c_str(), why.c_str());
    return ok;
}

bool Mget(Session& s, const Args& a) {
    return EachRemoteFile(s, a, "mget", true,
                          [&s](const std::string& path, const std::string& name) { return Receive(s, path, name); });
}

bool Mput(Session& s, const Args& a) {
    bool ok = true, all = false;
    for (const std::string& pattern : a) {
        std::vector<std::string> names = LocalFiles(s, pattern);
        if (names.empty()) {
            s.say("no local files match %s\n", pattern.c_str());
            ok = false;
        }
        for (const std::string& name : names) {
            Choice choice = Confirm(s, "mput", name, &all);
            if (choice == kQuit) return ok;
            if (choice == kYes) ok = Send(s, name, BaseName(name)) && ok;
        }
    }
    return ok;
}

bool Mdelete(Session& s, const Args& a) {
    return EachRemoteFile(s, a, "mdelete", false, [&s](const std::string& path, const std::string&) {
        int boxes = s.boxes.shown;
        RyFDelFile(s.connection(), s.owner, path.c_str());
        bool deleted = s.boxes.shown == boxes;
        s.say("%s %s\n", deleted ? "deleted" : "not deleted:", Visible(path).c_str());
        return deleted;
    });
}

}  // namespace cmd
}  // namespace ryftp
