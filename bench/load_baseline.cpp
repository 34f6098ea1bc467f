// bench/load_baseline SERVER [ROWS]: the load test's mixed work against one real server
// (SERVER is PYFTPD or VSFTPD: RYTEST_SERVER_HOST and _ROOT name it), 8 threads x 25
// rounds, in both modes (passive: the platform's INTERNET_FLAG_PASSIVE, and RYINET through
// the host kit's RyKitConnect, as the hosts connect; active: InternetConnectA without it,
// and RyFtpConnect), through the platform's own calls and through RYINET. A round is four
// steps: the commands (PWD, MKD, CWD, PWD, CWD, RMD), the listing of pub/*, the transfer of
// binary.bin and its final reply; each failed round counts once, by the step that failed,
// with the first reasons seen, and a hung thread by the step it hangs in. Prints all of it
// and, with ROWS, adds a row for each mode to make bench's table: the median of kRuns runs,
// raw and RYINET in turns. Asserts nothing. A hung thread stays inside the internet library
// for good, so the process ends without it.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>
#include "boxes.h"
#include "load.h"
#include "ryinet_kit.h"

namespace {

const int kThreads = 8, kRounds = 25, kRuns = 3;
enum Step { kCommands, kListing, kTransfer, kReply, kSteps };
const char* const kStepNames[] = {"commands", "listing", "transfer", "reply"};

// What one run saw. Never freed: a hung thread may still write to it.
struct Tally {
    std::atomic<int> failed[kSteps] = {};
    std::atomic<int> at[kThreads] = {};  // the step each thread is in, kSteps when it is done
    std::mutex lock;
    std::vector<std::string> reasons;  // the first few, each once
    void fail(int step, const std::string& why) {
        ++failed[step];
        std::lock_guard<std::mutex> hold(lock);
        std::string line = std::string(kStepNames[step]) + ": " + why;
        for (const std::string& r : reasons)
            if (r == line) return;
        if (reasons.size() < 6) reasons.push_back(line);
    }
};

// Why the last call failed: its error and the server's last reply.
std::string Why(const char* call) {
    char reply[RYKIT_REPLY_BYTES];
    DWORD error = GetLastError();
    RyKitLastResponseInfo(reply, sizeof reply);
    return std::string(call) + " (error " + std::to_string(error) + ", last reply \"" + reply + "\")";
}

// A step: "" when it went as the served tree says, else why not.
using StepCall = std::function<std::string()>;

// The rounds of one thread, each step in turn; a round stops at its first failed step.
void Rounds(Tally* tally, int t, int rounds, const RoundDone& done, const StepCall (&steps)[kSteps]) {
    for (int i = 0; i < rounds; ++i) {
        std::string why;
        int step = 0;
        for (; step < kSteps && why.empty(); ++step) {
            tally->at[t] = step;
            why = steps[step]();
        }
        if (!why.empty()) tally->fail(step - 1, why);
        done(why.empty());
    }
    tally->at[t] = kSteps;
}

// The names a listing of pub/* gives through the platform, "" when none came.
std::string Names(const HostWininet& w, HINTERNET c) {
    WIN32_FIND_DATAA f;
    HINTERNET find = w.FtpFindFirstFileA(c, "pub/*", &f, 0, 0);
    std::string names;
    for (BOOL more = find != nullptr; more; more = w.InternetFindNextFileA(find, &f)) names += std::string(f.cFileName) + "|";
    if (find) w.InternetCloseHandle(find);
    return names;
}

// The platform's thread: the same work through WININET itself.
ThreadWork RawWork(const HostWininet* w, const Expected* e, const std::string* names, DWORD flags, Tally* tally) {
    return [=](int t, int rounds, const RoundDone& done) {
        std::string dir = "rawload" + std::to_string(t);
        HINTERNET s = w->InternetOpenA("RY", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        HINTERNET c = w->InternetConnectA(s, e->server.host.c_str(), 21, e->user.c_str(), e->password.c_str(),
                                          INTERNET_SERVICE_FTP, flags, 0);
        w->FtpSetCurrentDirectoryA(c, e->base.c_str());
        HINTERNET file = nullptr;
        WCHAR copy[MAX_PATH];  // the copy Wine's WININET keeps in the URL cache, deleted as a careful host does
        BOOL cached = FALSE;
        auto cur = [&](const std::string& want) {
            char text[RYINET_CURDIR_BYTES];
            DWORD n = sizeof text;
            return w->FtpGetCurrentDirectoryA(c, text, &n) && want == text;
        };
        const StepCall steps[kSteps] = {
            [&]() -> std::string {
                if (!c) return Why("InternetConnectA");
                if (!cur(e->base)) return Why("PWD");
                if (!w->FtpCreateDirectoryA(c, dir.c_str()) || !w->FtpSetCurrentDirectoryA(c, dir.c_str())) return Why("MKD, CWD");
                if (!cur(e->under(dir))) return Why("PWD");
                return w->FtpSetCurrentDirectoryA(c, e->base.c_str()) && w->FtpRemoveDirectoryA(c, dir.c_str()) ? "" : Why("CWD, RMD");
            },
            [&]() -> std::string {
                std::string got = Names(*w, c);
                if (got.empty()) return Why("FtpFindFirstFileA");
                return got == *names ? "" : "other names: " + got;
            },
            [&]() -> std::string {
                file = w->FtpOpenFileA(c, "binary.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
                if (!file) return Why("FtpOpenFileA");
                cached = RyKitCachedCopy(file, copy);
                std::string got = w->readAll(file);
                if (got == e->binary) return "";
                w->InternetCloseHandle(file);
                if (cached) DeleteFileW(copy);
                return std::to_string(got.size()) + " bytes came";
            },
            [&]() -> std::string {
                w->InternetCloseHandle(file);
                if (cached) DeleteFileW(copy);
                char reply[RYKIT_REPLY_BYTES];
                RyKitLastResponseInfo(reply, sizeof reply);
                return RyKitReplyCode(reply) / 100 == 2 ? "" : std::string("final reply \"") + reply + "\"";
            }};
        Rounds(tally, t, rounds, done, steps);
        w->InternetCloseHandle(c);
        w->InternetCloseHandle(s);
    };
}

// RYINET's thread: its own session and connection through the exports, connected as the
// hosts connect (passive) or as RyFtpConnect does (active).
ThreadWork RyinetWork(const HostWininet* w, const Expected* e, bool passive, Tally* tally) {
    return [=](int t, int rounds, const RoundDone& done) {
        std::string dir = "ryload" + std::to_string(t);
        DWORD s = RyINetOpen(kLoadOwner), file = 0;
        WCHAR copy[MAX_PATH];
        BOOL cached = FALSE;
        char reply[RYKIT_REPLY_BYTES];
        DWORD c = passive ? RyKitConnect(s, kLoadOwner, e->server.host.c_str(), e->user.c_str(), e->password.c_str(), 1,
                                         reply, sizeof reply)
                          : RyFtpConnect(s, 0, kLoadOwner, e->server.host.c_str(), e->user.c_str(), e->password.c_str());
        RyFSetDir(c, 0, e->base.c_str());
        auto cur = [&](const std::string& want) {
            char text[RYINET_CURDIR_BYTES] = "";
            RyFtpCurDir(c, kLoadOwner, text);
            return want == text;
        };
        const StepCall steps[kSteps] = {
            [&]() -> std::string {
                if (!c) return Why("connecting");
                if (!cur(e->base)) return Why("RyFtpCurDir");
                RyFtpMd(c, kLoadOwner, dir.c_str());
                RyFSetDir(c, 0, dir.c_str());
                if (!cur(e->under(dir))) return Why("RyFtpMd, RyFSetDir, RyFtpCurDir");
                RyFSetDir(c, 0, e->base.c_str());
                return RyFtpRd(c, kLoadOwner, dir.c_str()) == 0 ? "" : Why("RyFtpRd");
            },
            [&]() -> std::string {
                std::vector<char> text(RYINET_LISTING_BYTES(16));
                if (RyFtpDir(c, kLoadOwner, "pub/*", 0, text.data()) != 0) return Why("RyFtpDir");
                return e->listing == text.data() ? "" : std::string("another listing: ") + text.data();
            },
            [&]() -> std::string {
                file = RyFtpOpenFile(kLoadOwner, c, "binary.bin");
                if (!file) return Why("RyFtpOpenFile");
                cached = RyKitCachedCopy(RyKitInternetHandle(file), copy);
                std::string got = w->readAll(RyKitInternetHandle(file));
                if (got == e->binary) return "";
                RyINetClose(file, kLoadOwner);
                if (cached) DeleteFileW(copy);
                return std::to_string(got.size()) + " bytes came";
            },
            [&]() -> std::string {
                RyINetClose(file, kLoadOwner);
                if (cached) DeleteFileW(copy);
                char last[RYKIT_REPLY_BYTES];
                RyKitLastResponseInfo(last, sizeof last);
                return RyKitReplyCode(last) / 100 == 2 ? "" : std::string("final reply \"") + last + "\"";
            }};
        Rounds(tally, t, rounds, done, steps);
        RyINetClose(c, kLoadOwner);
        RyINetClose(s, kLoadOwner);
    };
}

// "12 (listing 3, transfer 9; 2 hung: transfer 2)": the failed rounds by step, the hung
// threads by where they hang.
std::string Summary(const LoadResult& r, const Tally& t) {
    std::string steps, hung;
    for (int k = 0; k < kSteps; ++k)
        if (t.failed[k]) steps += std::string(steps.empty() ? "" : ", ") + kStepNames[k] + " " + std::to_string(t.failed[k]);
    for (int k = 0; k < kSteps; ++k) {
        int n = 0;
        for (int i = 0; i < kThreads; ++i) n += t.at[i] == k;
        if (n) hung += std::string(hung.empty() ? "" : ", ") + kStepNames[k] + " " + std::to_string(n);
    }
    std::string text = std::to_string(r.failedRounds);
    if (!steps.empty() || r.hungThreads)
        text += " (" + steps + (r.hungThreads ? std::string(steps.empty() ? "" : "; ") + std::to_string(r.hungThreads) +
                                                    " threads hung in " + hung : "") + ")";
    return text;
}

// One side's runs of a mode: the median by rounds failed, with every run's count beside it.
// Active mode's failures come from threads that hang for good, each taking the rest of its
// rounds, so one run's count moves by tens between runs of the same code.
class Runs {
public:
    Tally* next() { return tallies_.emplace_back(new Tally); }  // never freed: see Tally
    // Summed up at once: a thread that hung may come back later and go on with its rounds.
    void add(const LoadResult& r) {
        results_.push_back(r);
        summaries_.push_back(Summary(r, *tallies_.back()));
    }
    std::string median() const {
        std::vector<size_t> order(results_.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return results_[a].failedRounds < results_[b].failedRounds; });
        size_t m = order[order.size() / 2];
        std::string all;
        for (const LoadResult& r : results_) all += (all.empty() ? "" : ", ") + std::to_string(r.failedRounds);
        return summaries_[m] + (results_.size() > 1 ? " [runs: " + all + "]" : "");
    }
    std::vector<std::string> reasons() const {
        std::vector<std::string> all;
        for (const Tally* t : tallies_)
            for (const std::string& why : t->reasons)
                if (std::find(all.begin(), all.end(), why) == all.end() && all.size() < 6) all.push_back(why);
        return all;
    }

private:
    std::vector<Tally*> tallies_;
    std::vector<LoadResult> results_;
    std::vector<std::string> summaries_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: load_baseline PYFTPD|VSFTPD [ROWS]\n");
        return 2;
    }
    auto* w = new HostWininet;  // never freed: a hung thread may still be inside the library
    BoxRecorder boxes;
    auto* e = new Expected(ExpectedFor(argv[1]));
    e->listing = QuietListing(*e);
    if (!e->server.present() || e->listing.find("notes.txt;") == std::string::npos) {
        fprintf(stderr, "load_baseline: no sample tree at RYTEST_%s_HOST (listed: %s)\n", argv[1], e->listing.c_str());
        return 1;
    }
    HINTERNET s = w->InternetOpenA("RY", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET c = w->InternetConnectA(s, e->server.host.c_str(), 21, e->user.c_str(), e->password.c_str(),
                                      INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    w->FtpSetCurrentDirectoryA(c, e->base.c_str());
    auto* names = new std::string(Names(*w, c));  // as the server lists them when nothing else runs
    w->InternetCloseHandle(c);
    w->InternetCloseHandle(s);
    const char* server = strcmp(argv[1], "VSFTPD") == 0 ? "vsftpd" : "pyftpdlib";
    for (bool passive : {true, false}) {
        const char* mode = passive ? "passive (INTERNET_FLAG_PASSIVE; RyKitConnect)" : "active (no flag; RyFtpConnect)";
        Runs raw, ry;
        for (int run = 0; run < kRuns; ++run) {  // in turns, so both meet the server in the same state
            raw.add(RunLoad(kThreads, kRounds, RawWork(w, e, names, passive ? INTERNET_FLAG_PASSIVE : 0, raw.next())));
            ry.add(RunLoad(kThreads, kRounds, RyinetWork(w, e, passive, ry.next())));
        }
        printf("%s, %s, %d threads x %d rounds, median of %d runs: rounds failed, raw WinINet %s; RYINET %s\n", server,
               mode, kThreads, kRounds, kRuns, raw.median().c_str(), ry.median().c_str());
        for (Runs* runs : {&raw, &ry})
            for (const std::string& why : runs->reasons()) printf("  %s: %s\n", runs == &raw ? "raw WinINet" : "RYINET", why.c_str());
        if (argc > 2)
            if (FILE* f = fopen(argv[2], "a")) {
                fprintf(f, "| %s, %s, %d threads x %d rounds, median of %d runs: rounds failed, raw WinINet / RYINET | %s / %s of %d | RYINET <= raw%s |\n",
                        server, mode, kThreads, kRounds, kRuns, raw.median().c_str(), ry.median().c_str(),
                        kThreads * kRounds, passive && strcmp(server, "vsftpd") == 0 ? "; RYINET 0" : "");
                fclose(f);
            }
    }
    fflush(stdout);
    ExitProcess(0);  // without waiting for a thread that hung
}
