// Files both ways, one or many, through the host kit: get and mget receive what RYINET
// opened (into the kit's partial, renamed only when complete, kept when the transfer
// broke); put, mput and append send through WININET's own upload on the connection handle
// (the library has none). The kit tries a broken transfer again as the session's link
// says (--retries). Names from a listing are the server's: they are shown as text through
// Visible, and never used as a local path before the kit's RyKitUnsafeLocalName has looked at them. A
// local name is UTF-16 from where ryftp reads it until it is opened.
#include <windows.h>
#include <wininet.h>
#include <ctype.h>
#include <string.h>
#include <algorithm>
#include <functional>
#include <vector>
#include "command_table.h"
#include "progress.h"
#include "ryinet_kit.h"
#include "ryinet_listing.h"
#include "session.h"
#include "text.h"
#include "visible.h"

namespace ryftp {
namespace {

// A remote file: its bytes go to the server, its text to the user; its size as its
// listing gave it, or -1.
struct RemoteName {
    std::string bytes, text;
    LONGLONG size = -1;
};

std::string Error(const char* what, const std::string& name, DWORD error) {
    return std::string(what) + " " + name + " (error " + std::to_string(error) + ")";
}

// Why a receive failed, as the transcript says it; part is the partial as the user named
// the local file.
std::string Failure(RyKitOutcome outcome, const RyKitReceive& r, const std::string& shownRemote,
                    const std::string& local, const std::string& part) {
    std::string remote = Visible(shownRemote);
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
    case RYKIT_NOT_RESTARTED: return "not received: " + remote + ": the server does not go on from a byte (" +
                                     WhyNot(r.reply, r.error) + ")";
    default: return "";
    }
}

// What a Windows client receives in ASCII type: each LF not already after a CR becomes
// CRLF. The file is rewritten through a new temporary file beside it; false, with the
// file as received, when that fails.
bool ToCrlf(Session& s, const std::wstring& local) {
    std::wstring path = s.localPath(local);
    std::string shown = Utf8(local);
    size_t slash = path.find_last_of(L"/\\");
    std::wstring dir = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
    wchar_t temp[MAX_PATH];
    if (!GetTempFileNameW(dir.c_str(), L"ry", 0, temp)) {
        s.say("%s: line ends not turned into CRLF (error %lu)\n", shown.c_str(), GetLastError());
        return false;
    }
    HANDLE in = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE crlf = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
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
    if (ok && !MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp);
        s.say("%s: line ends not turned into CRLF (error %lu)\n", shown.c_str(), error);
        return false;
    }
    s.say("%s: LF line ends turned into CRLF, now %llu bytes\n", shown.c_str(), total);
    return true;
}

// The end of a closing line: the time and the rate of a transfer over 1 MiB or a second,
// and the byte it went on from.
std::string HowLong(ULONGLONG moved, double seconds, ULONGLONG from) {
    char time[32] = "";
    if (seconds >= 1 || moved > 1024 * 1024) snprintf(time, sizeof time, " in %.2f s", seconds);
    std::string text = time[0] ? time + (" (" + Rate(moved, seconds) + ")") : "";
    return text + (from ? ", going on from byte " + std::to_string(from) : "");
}

// What a receive says once it ended: what came, or why not and what is kept.
bool Received(Session& s, RyKitOutcome outcome, const RyKitReceive& r, const std::string& remote,
              const std::wstring& local, double seconds) {
    std::string shown = Utf8(local);
    std::wstring path = s.localPath(local);
    size_t partLength = wcslen(r.part);
    std::string part = shown + (partLength > path.size() ? Utf8(r.part + path.size(), partLength - path.size()) : "");
    if (outcome != RYKIT_RECEIVED) {
        s.say("%s\n", Failure(outcome, r, remote, shown, part).c_str());
        if (r.partialKept)
            s.say("%llu bytes kept in %s: get or reget goes on from there\n", r.received, part.c_str());
        return false;
    }
    s.say("received %s: %llu bytes%s\n", shown.c_str(), r.received,
          HowLong(r.received - r.resumedFrom, seconds, r.resumedFrom).c_str());
    return true;
}

// get in the session's type: ASCII turns LF line ends into CRLF once received. False,
// with the local file as it was, on failure. A file from a listing is held to its size
// there, and asked no SIZE.
bool Receive(Session& s, const RemoteName& remote, const std::wstring& local) {
    ProgressMeter meter(s);
    RyKitReceive r;
    std::wstring path = s.localPath(local);
    RyKitOutcome outcome = RyKitLinkReceiveListed(&s.link, remote.bytes.c_str(), path.c_str(), remote.size,
                                                  &ProgressMeter::Update, &meter, &r);
    double seconds = meter.seconds();
    meter.finish(r.received, r.expected);
    return Received(s, outcome, r, remote.text, local, seconds) && (!s.ascii || ToCrlf(s, local));
}

// Why a send failed, as the transcript says it.
std::string SendFailure(RyKitOutcome outcome, const RyKitSend& r, const std::string& local) {
    switch (outcome) {
    case RYKIT_NO_LOCAL:
    case RYKIT_NOT_READ: return Error("not sent: cannot read", local, r.error);
    case RYKIT_BROKE_OFF: return "not sent: " + local + ": the transfer broke off: " + WhyNot(r.reply, r.error);
    case RYKIT_CANCELLED: return "not sent: " + local + ": cancelled";
    case RYKIT_NOT_CONFIRMED:
        return "not sent: " + local + " (" + (r.reply[0] ? Visible(r.reply) : "no reply after the transfer") + ")";
    default: return "not sent: " + local + " (" + WhyNot(r.reply, r.error) + ")";
    }
}

// What a send says once it ended.
bool Sent(Session& s, RyKitOutcome outcome, const RyKitSend& r, const std::wstring& local,
          const std::string& remoteText, double seconds) {
    std::string shown = Utf8(local);
    if (outcome != RYKIT_SENT) s.say("%s\n", SendFailure(outcome, r, shown).c_str());
    else
        s.say("sent %s as %s: %llu bytes%s\n", shown.c_str(), remoteText.c_str(), r.size,
              HowLong(r.size - r.resumedFrom, seconds, r.resumedFrom).c_str());
    return outcome == RYKIT_SENT;
}

// The local file to send, and the server's name for it; false, after saying why, when
// there is no such file or the server cannot write the name.
bool ToSend(Session& s, const std::wstring& local, const std::string& remoteText, std::string* remote) {
    DWORD attributes = GetFileAttributesW(s.localPath(local).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        s.say("no such local file: %s\n", Utf8(local).c_str());
        return false;
    }
    return s.serverName(remoteText, remote);
}

bool Send(Session& s, const std::wstring& local, const std::string& remoteText) {
    std::string remote;
    if (!ToSend(s, local, remoteText, &remote)) return false;
    std::wstring path = s.localPath(local);
    ProgressMeter meter(s);
    RyKitSend r;
    RyKitOutcome outcome = RyKitLinkSend(&s.link, path.c_str(), remote.c_str(), &ProgressMeter::Update, &meter, &r);
    double seconds = meter.seconds();
    meter.finish(r.sent, static_cast<LONGLONG>(r.size));
    return Sent(s, outcome, r, local, remoteText, seconds);
}

// "pub/*.txt" lists names inside pub/: the remote path of each is that part and the name.
std::string RemoteDirectory(const std::string& pattern) {
    size_t slash = pattern.rfind('/');
    return slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
}

// The files a listing of the pattern names, in the server's order. Directories are
// skipped with a line, and so, for local names, is each name RyKitUnsafeLocalName refuses.
// False, after saying so, when nothing matched or a name was refused.
bool RemoteFiles(Session& s, const std::string& pattern, bool localNames, std::vector<RemoteName>* names) {
    names->clear();
    std::string listed;
    if (!s.serverName(pattern, &listed)) return false;
    LONG opened = RyKitBufferList(&s.results, s.connection(), s.owner, listed.c_str());
    char reply[RYKIT_REPLY_BYTES];
    for (unsigned attempt = 0; opened != 0 && !RyKitNothingListed(reply, sizeof reply) &&
                               RyKitWorthAnotherTry(RYKIT_CALL_FAILED, reply, RyKitWatchdogEnding(s.watchdog.kit())) &&
                               s.tryAgain(&attempt, "the listing broke off");)
        opened = RyKitBufferList(&s.results, s.connection(), s.owner, listed.c_str());
    RyListingEntry e;
    const char* at = s.results.data;
    while (opened == 0 && RyListingNext(&at, &e) == 1) RyKitNamesSaw(&s.names, e.name, e.nameLength);
    at = s.results.data;
    bool refused = false;
    while (opened == 0 && RyListingNext(&at, &e) == 1) {
        std::string text = s.nameText(e.name, e.nameLength);
        const char* unsafe = localNames ? RyKitUnsafeLocalName(Wide(text).c_str()) : nullptr;
        if (e.isDirectory) s.say("skipped %s: a directory\n", Visible(text).c_str());
        else if (unsafe) s.say("skipped %s: %s\n", Visible(text).c_str(), unsafe);
        else names->push_back({RemoteDirectory(listed) + std::string(e.name, e.nameLength), RemoteDirectory(pattern) + text,
                                static_cast<LONGLONG>(e.size)});
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
    std::vector<RemoteName> files;
    for (const std::string& pattern : patterns) {
        ok = RemoteFiles(s, pattern, localNames, &files) && ok;
        for (const RemoteName& file : files) {
            Choice choice = Confirm(s, verb, Visible(file.text), &all);
            if (choice == kQuit) return ok;
            if (choice == kYes) ok = act(file) && ok;
        }
    }
    return ok;
}

// The files the patterns' listings name that the user wants (all of them, unless prompting
// is on: then each is asked for, and q stops the asking). False when a listing failed.
bool ChosenRemoteFiles(Session& s, const Args& patterns, const char* verb, bool localNames,
                       std::vector<RemoteName>* chosen) {
    return EachRemoteFile(s, patterns, verb, localNames, [chosen](const RemoteName& file) {
        chosen->push_back(file);
        return true;
    });
}

// The local files a pattern matches, sorted, as the user would name them; with globbing
// off, or no wildcard, the name itself.
std::vector<std::wstring> LocalFiles(Session& s, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    if (!s.globbing || pattern.find_first_of(L"*?") == std::wstring::npos) return {pattern};
    size_t slash = pattern.find_last_of(L"/\\");
    std::wstring dir = slash == std::wstring::npos ? L"" : pattern.substr(0, slash + 1);
    WIN32_FIND_DATAW f;
    HANDLE h = FindFirstFileW(s.localPath(pattern).c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &f))
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(dir + f.cFileName);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// The remote file as it is now (nothing when it is not there yet), then the local file,
// into temp. Only a remote file the server confirmed whole goes back with the local one
// after it: sending back a part would cut it short for good.
bool Appended(Session& s, const std::wstring& local, const std::string& remote, const std::wstring& temp,
              ULONGLONG* added, std::string* why) {
    HANDLE in = CreateFileW(s.localPath(local).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        *why = "no such local file";
        return false;
    }
    HANDLE whole = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool ok = whole != INVALID_HANDLE_VALUE;
    RyKitReceive r{};
    RyKitOutcome outcome = ok ? RyKitReceiveInto(s.connection(), remote.c_str(), whole, nullptr, nullptr, &r)
                              : RYKIT_NO_PART;
    bool notThereYet = outcome == RYKIT_NOT_OPENED && RyKitReplyCode(r.reply) == 550;  // append makes it
    if (!ok) {
        *why = "error " + std::to_string(GetLastError());
    } else if (outcome != RYKIT_RECEIVED && !notThereYet) {
        ok = false;
        *why = outcome == RYKIT_NOT_OPENED || outcome == RYKIT_NOT_CONFIRMED
                   ? "cannot read " + Visible(s.nameText(remote)) + " (" + WhyNot(r.reply, r.error) + ")"
                   : Failure(outcome, r, s.nameText(remote), Utf8(local), Utf8(temp));
    }
    std::vector<char> block(256 * 1024);
    DWORD got = 0, written;
    while (ok && (ok = ReadFile(in, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) && got) {
        ok = WriteFile(whole, block.data(), got, &written, nullptr) && written == got;
        *added += got;
    }
    if (!ok && why->empty()) *why = "error " + std::to_string(GetLastError());
    CloseHandle(in);
    if (whole != INVALID_HANDLE_VALUE) CloseHandle(whole);
    return ok;
}

// One file of a batch: the kit's transfer, and the names as the user gave or saw them.
struct Job {
    RyKitTransfer transfer{};
    std::string remoteText;
    std::wstring local;
};

// A job for the kit; false, after saying why, when the local path is too long for it.
bool AddJob(Session& s, std::vector<Job>* jobs, RyKitTask task, const std::string& remote,
            const std::string& remoteText, const std::wstring& local, LONGLONG size) {
    std::wstring path = task == RYKIT_TASK_DELETE ? L"" : s.localPath(local);
    if (path.size() + wcslen(RYKIT_PARTIAL_SUFFIX) >= MAX_PATH || remote.size() > MAX_PATH) {
        s.say("%s\n", Error("cannot write", Utf8(local), ERROR_FILENAME_EXCED_RANGE).c_str());
        return false;
    }
    jobs->emplace_back();
    Job& job = jobs->back();
    job.transfer.task = task;
    job.transfer.size = size;
    lstrcpyA(job.transfer.remote, remote.c_str());
    lstrcpyW(job.transfer.local, path.c_str());
    job.remoteText = remoteText;
    job.local = local;
    return true;
}

// What a file of the batch says as it ends.
bool Ended(Session& s, const Job& job) {
    const RyKitTransfer& t = job.transfer;
    double seconds = t.milliseconds / 1000.0;
    switch (t.task) {
    case RYKIT_TASK_GET:
        if (t.outcome == RYKIT_NOT_OPENED) {  // opened without a box: the server's word instead
            s.say("not received: %s (%s)\n", Visible(job.remoteText).c_str(),
                  WhyNot(t.receive.reply[0] ? t.receive.reply : t.reply, t.receive.error ? t.receive.error : t.error).c_str());
            return false;
        }
        return Received(s, t.outcome, t.receive, job.remoteText, job.local, seconds) && (!s.ascii || ToCrlf(s, job.local));
    case RYKIT_TASK_PUT: return Sent(s, t.outcome, t.send, job.local, job.remoteText, seconds);
    default:
        if (t.outcome == RYKIT_RECEIVED) s.say("deleted %s\n", Visible(job.remoteText).c_str());
        else s.say("not deleted: %s (%s)\n", Visible(job.remoteText).c_str(), WhyNot(t.reply, t.error).c_str());
        return t.outcome == RYKIT_RECEIVED;
    }
}

// The batch over the session's connections at once (--parallel): choose gives its files
// (a listing, the user's answers) while the other connections are opened; each file's line
// as it ends, one progress line for them all. False when choosing or a file failed, or the
// batch was ended.
bool RunBatch(Session& s, const std::function<bool(std::vector<Job>*)>& choose) {
    struct Batch {
        Session& s;
        const std::function<bool(std::vector<Job>*)>& choose;
        BatchMeter meter;
        std::vector<Job> jobs;
        std::vector<RyKitTransfer> transfers;
        bool ok;
    } batch{s, choose, BatchMeter(s), {}, {}, true};
    RyKitPool pool = {&s.link, s.parallel,
                      [](void* context, const RyKitBatch* b) {
                          return BatchMeter::Update(&static_cast<Batch*>(context)->meter, b);
                      },
                      [](void* context, RyKitTransfer* t) {
                          Batch* b = static_cast<Batch*>(context);
                          Job& job = b->jobs[t - b->transfers.data()];
                          job.transfer = *t;
                          b->meter.clear();
                          b->ok = Ended(b->s, job) && b->ok;
                          b->meter.redraw();
                      },
                      [](void* context, const char* text) {
                          Batch* b = static_cast<Batch*>(context);
                          b->meter.clear();
                          b->s.say("%s\n", text);
                          b->meter.redraw();
                      },
                      &batch};
    auto list = [](void* context, RyKitTransfer** t, unsigned* count) {
        Batch* b = static_cast<Batch*>(context);
        b->ok = b->choose(&b->jobs);
        for (const Job& job : b->jobs) b->transfers.push_back(job.transfer);
        *t = b->transfers.data();
        *count = static_cast<unsigned>(b->transfers.size());
        return 1;
    };
    unsigned failed = RyKitPoolRunListed(&pool, list, &batch);
    batch.meter.finish();
    return batch.ok && failed == 0;
}

// The files a listing chose, as jobs of task: a local file of each one's name here.
bool RemoteJobs(Session& s, const Args& patterns, const char* verb, RyKitTask task, std::vector<Job>* jobs) {
    std::vector<RemoteName> chosen;
    bool ok = ChosenRemoteFiles(s, patterns, verb, task == RYKIT_TASK_GET, &chosen);
    for (const RemoteName& file : chosen)
        ok = AddJob(s, jobs, task, file.bytes, file.text, Wide(BaseName(file.text)), file.size) && ok;
    return ok;
}

}  // namespace

namespace cmd {

bool Get(Session& s, const Args& a) {
    std::wstring local = Wide(a.size() > 1 ? a[1] : BaseName(a[0]));
    if (local.empty()) {
        s.say("give a local name: get REMOTE LOCAL\n");
        return false;
    }
    RemoteName remote{"", a[0]};
    return s.serverName(a[0], &remote.bytes) && Receive(s, remote, local);
}

// As BSD ftp's reget: the kit's partial goes on where it is waiting; else a local file
// shorter than the remote one is continued in place from its length.
bool Reget(Session& s, const Args& a) {
    std::wstring local = Wide(a.size() > 1 ? a[1] : BaseName(a[0]));
    RemoteName remote{"", a[0]};
    if (local.empty() || !s.serverName(a[0], &remote.bytes)) return false;
    std::wstring path = s.localPath(local);
    RyKitPartial waiting;
    WIN32_FILE_ATTRIBUTE_DATA f;
    if ((RyKitReadPartial(path.c_str(), &waiting) && waiting.remote == remote.bytes) ||
        !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &f))
        return Receive(s, remote, local);
    ULONGLONG had = (static_cast<ULONGLONG>(f.nFileSizeHigh) << 32) | f.nFileSizeLow;
    LONGLONG size = RyKitRemoteSize(s.connection(), remote.bytes.c_str());
    if (size >= 0 && had >= static_cast<ULONGLONG>(size)) {
        s.say("%s already holds %llu bytes, the remote file %lld: nothing to go on with\n", a[0].c_str(), had, size);
        return size >= 0 && had == static_cast<ULONGLONG>(size);
    }
    HANDLE out = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        s.say("%s\n", Error("cannot write", Utf8(local), GetLastError()).c_str());
        return false;
    }
    ProgressMeter meter(s);
    RyKitReceive r;
    RyKitOutcome outcome = RyKitReceiveAfter(s.connection(), remote.bytes.c_str(), out, had, &ProgressMeter::Update,
                                             &meter, &r);
    CloseHandle(out);
    double seconds = meter.seconds();
    meter.finish(r.received, r.expected);
    return Received(s, outcome, r, remote.text, local, seconds);
}

bool Put(Session& s, const Args& a) { return Send(s, Wide(a[0]), a.size() > 1 ? a[1] : BaseName(a[0])); }

// WININET has no append of its own, and Wine's FtpCommandA opens no data connection for
// APPE: ryftp reads the remote file, adds the local one, and sends the whole back.
bool Append(Session& s, const Args& a) {
    std::string remoteText = a.size() > 1 ? a[1] : BaseName(a[0]), remote;
    if (!s.serverName(remoteText, &remote)) return false;
    wchar_t dir[MAX_PATH], temp[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, L"rya", 0, temp)) {
        s.say("not appended: %s (error %lu)\n", a[0].c_str(), GetLastError());
        return false;
    }
    ULONGLONG added = 0;
    std::string why;
    bool ok = Appended(s, Wide(a[0]), remote, temp, &added, &why);
    RyKitSend sent;
    if (ok) {
        RyKitOutcome outcome = RyKitLinkSend(&s.link, temp, remote.c_str(), nullptr, nullptr, &sent);
        ok = outcome == RYKIT_SENT;
        if (!ok) why = WhyNot(sent.reply, sent.error);
    }
    DeleteFileW(temp);
    if (ok) s.say("appended %s to %s: %llu bytes\n", a[0].c_str(), remoteText.c_str(), added);
    else if (why == "no such local file") s.say("no such local file: %s\n", a[0].c_str());
    else s.say("not appended: %s (%s)\n", a[0].c_str(), why.c_str());
    return ok;
}

bool Mget(Session& s, const Args& a) {
    if (s.parallel <= 1)
        return EachRemoteFile(s, a, "mget", true,
                              [&s](const RemoteName& file) { return Receive(s, file, Wide(BaseName(file.text))); });
    return RunBatch(s, [&](std::vector<Job>* jobs) { return RemoteJobs(s, a, "mget", RYKIT_TASK_GET, jobs); });
}

// The local files the patterns match, sent one after the other, or (--parallel) chosen
// first and sent as a batch.
bool Mput(Session& s, const Args& a) {
    auto each = [&](std::vector<Job>* jobs) {
        bool ok = true, all = false;
        for (const std::string& pattern : a) {
            std::vector<std::wstring> names = LocalFiles(s, Wide(pattern));
            if (names.empty()) {
                s.say("no local files match %s\n", pattern.c_str());
                ok = false;
            }
            for (const std::wstring& name : names) {
                std::string shown = Utf8(name), remote;
                Choice choice = Confirm(s, "mput", shown, &all);
                if (choice == kQuit) return ok;
                if (choice != kYes) continue;
                if (!jobs) ok = Send(s, name, BaseName(shown)) && ok;
                else ok = ToSend(s, name, BaseName(shown), &remote) &&
                          AddJob(s, jobs, RYKIT_TASK_PUT, remote, BaseName(shown), name, -1) && ok;
            }
        }
        return ok;
    };
    return s.parallel <= 1 ? each(nullptr) : RunBatch(s, each);
}

bool Mdelete(Session& s, const Args& a) {
    if (s.parallel > 1)
        return RunBatch(s, [&](std::vector<Job>* jobs) { return RemoteJobs(s, a, "mdelete", RYKIT_TASK_DELETE, jobs); });
    return EachRemoteFile(s, a, "mdelete", false, [&s](const RemoteName& file) {
        int boxes = s.boxes.shown;
        RyFDelFile(s.connection(), s.owner, file.bytes.c_str());
        bool deleted = s.boxes.shown == boxes;
        s.say("%s %s\n", deleted ? "deleted" : "not deleted:", Visible(file.text).c_str());
        return deleted;
    });
}

}  // namespace cmd

// The kit's partials waiting in the local directory, for status.
void SayPartials(Session& s) {
    WIN32_FIND_DATAW f;
    HANDLE h = FindFirstFileW(s.localPath(std::wstring(L"*") + RYKIT_PARTIAL_SUFFIX).c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &f)) {
        std::wstring local(f.cFileName, wcslen(f.cFileName) - wcslen(RYKIT_PARTIAL_SUFFIX));
        RyKitPartial p;
        if (!RyKitReadPartial(s.localPath(local).c_str(), &p)) continue;
        std::string of = p.expected >= 0 ? " of " + std::to_string(p.expected) : "";
        s.say("partial: %s holds %llu%s bytes of %s; get or reget goes on\n", Utf8(local).c_str(), p.bytes, of.c_str(),
              Visible(s.nameText(p.remote)).c_str());
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

}  // namespace ryftp
