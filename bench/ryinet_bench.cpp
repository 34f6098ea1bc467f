// bench/ryinet_bench SERVER RESULTS DATA: every performance figure of RYINET in one table,
// each the median of several runs, all in one process so they are comparable: the listing's
// cost per record as it grows and against the floor of the same records, a real listing
// and a held connection's current directory against the platform's own calls, the
// phonebook list as it grows, and the module's size. Writes the table (Markdown) to
// RESULTS and the per-record curve to DATA for the plot; asserts nothing.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>
#include "entries.h"
#include "listing.h"
#include "phonebook.h"
#include "ryinet.h"
#include "timing.h"

namespace {

// Seconds of one run of fn, the median of runs.
double Timed(int runs, const std::function<void()>& fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        fn();
        t.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(t);
}

// Two timings taken in turn, first one then the other first, so drift of the machine (it
// is shared) falls on both alike: the median of each, and the median of the ratios of
// the pairs.
struct Pair {
    double a, b, ratio;
};
Pair TimedPair(int runs, const std::function<void()>& a, const std::function<void()>& b) {
    std::vector<double> va, vb, ratios;
    for (int i = 0; i < runs; ++i) {
        double tb = i % 2 ? Timed(1, b) : 0;
        double ta = Timed(1, a);
        if (i % 2 == 0) tb = Timed(1, b);
        va.push_back(ta);
        vb.push_back(tb);
        ratios.push_back(ta / tb);
    }
    return {Median(va), Median(vb), Median(ratios)};
}

struct Table {
    std::string rows;
    void add(const char* what, const std::string& figure, const char* target = "") {
        char line[512];
        snprintf(line, sizeof line, "| %s | %s | %s |\n", what, figure.c_str(), target);
        rows += line;
    }
};

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[128];
    snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// ---- Listing over synthetic records ----------------------------------------------------------

void Record(size_t i, WIN32_FIND_DATAA& r) {
    r = WIN32_FIND_DATAA();
    wsprintfA(r.cFileName, "report-%07u.txt", static_cast<unsigned>(i));
    r.dwFileAttributes = i % 9 == 0 ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    r.nFileSizeLow = static_cast<DWORD>(i * 40503u);
    ULONGLONG t = 126000000000000000ull + i * 10000000ull;
    r.ftLastWriteTime = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

struct PerRecord {
    size_t n;
    double ryinet, floor;  // ns per record
};

// RyFtpDir over n records, and the floor: the same source's own find loop, the time
// conversion and a copy of the very bytes RyFtpDir writes.
PerRecord Listing(size_t n, std::vector<char>& out) {
    EntryControl entries;
    SyntheticFinds source(entries, n, &Record);
    RyFtpDir(0xC0, nullptr, "*", 0, out.data());
    const std::string text = out.data();
    std::vector<size_t> lengths;
    for (size_t at = 0, bar; (bar = text.find('|', at)) != std::string::npos; at = bar + 1)
        lengths.push_back(bar + 1 - at);
    auto first = SyntheticFinds::findFirst();
    auto next = SyntheticFinds::findNext();
    auto floorLoop = [&] {
        WIN32_FIND_DATAA r;
        SYSTEMTIME t;
        HINTERNET find = first(reinterpret_cast<HINTERNET>(0xC0), "*", &r, 0, 0);
        char* to = out.data();
        const char* from = text.data();
        size_t i = 0;
        do {
            FileTimeToSystemTime(&r.ftLastWriteTime, &t);
            memcpy(to, from, lengths[i]);
            to += lengths[i];
            from += lengths[i++];
        } while (next(find, &r));
        *to = '\0';
    };
    int runs = n <= 10000 ? 101 : n <= 100000 ? 11 : 5;
    Pair p = TimedPair(runs, [&] { RyFtpDir(0xC0, nullptr, "*", 0, out.data()); }, floorLoop);
    return {n, p.a / n * 1e9, p.b / n * 1e9};
}

// ---- A real server ---------------------------------------------------------------------------

void RealServer(const char* server, Table& table) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    DWORD session = RyINetOpen(nullptr);
    DWORD connection = RyFtpConnect(session, 0, nullptr, server, "anonymous", "bench@ryinet");
    if (!connection) {
        table.add("real server", std::string("no connection to ") + server);
        return;
    }
    HINTERNET c = reinterpret_cast<HINTERNET>(connection);
    std::vector<char> buffer(RYINET_LISTING_BYTES(64));
    size_t entries = RawFind(c, "*").size();
    Pair p = TimedPair(31, [&] { RyFtpDir(connection, nullptr, "*", 0, buffer.data()); }, [&] { RawFind(c, "*"); });
    table.add(Format("real %.0f-entry listing: RyFtpDir / raw find loop", entries).c_str(),
              Format("%.1f ms / %.1f ms, pairs **%.3f**", p.a * 1e3, p.b * 1e3, p.ratio), "<= 1.05");

    const int kCalls = 50;
    char dir[RYINET_CURDIR_BYTES];
    p = TimedPair(
        41, [&] { for (int i = 0; i < kCalls; ++i) RyFtpCurDir(connection, nullptr, dir); },
        [&] {
            for (int i = 0; i < kCalls; ++i) {
                DWORD n = sizeof dir;
                FtpGetCurrentDirectoryA(c, dir, &n);
            }
        });
    table.add("RyFtpCurDir / raw call on a held connection",
              Format("%.1f us / %.1f us, pairs **%.3f**", p.a / kCalls * 1e6, p.b / kCalls * 1e6, p.ratio), "<= 1.05");
    RyINetClose(connection, nullptr);
    RyINetClose(session, nullptr);
    FreeLibrary(wininet);
}

// ---- The phonebook -----------------------------------------------------------------------------

void Phonebooks(Table& table) {
    for (size_t n : {10u, 1000u, 10000u}) {
        Phonebook book;
        for (size_t i = 0; i < n; ++i) book.add({"Dial-up connection " + std::to_string(i), "u", "p", true});
        std::vector<char> names(RYINET_PHONEBOOK_BYTES(n));
        double t = Timed(n <= 1000 ? 51 : 11, [&] { RyRasEnumE(0, names.data()); });
        table.add(Format("RyRasEnumE, %.0f entries", n).c_str(),
                  Format("%.3f ms (%.0f ns per entry)", t * 1e3, t / n * 1e9));
    }
}

// The binding's own price, without a network: closing the zero handle, which the platform
// refuses at once.
void Binding(Table& table) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    const int kCalls = 2000;
    Pair p = TimedPair(
        21, [&] { for (int i = 0; i < kCalls; ++i) RyINetClose(0, nullptr); },
        [&] { for (int i = 0; i < kCalls; ++i) InternetCloseHandle(nullptr); });
    table.add("binding per call: RyINetClose(0) / raw InternetCloseHandle(0)",
              Format("%.2f us / %.2f us (+%.2f us)", p.a / kCalls * 1e6, p.b / kCalls * 1e6, (p.a - p.b) / kCalls * 1e6));
    FreeLibrary(wininet);
}

}  // namespace

int main(int argc, char** argv) {
    const char* server = argc > 1 ? argv[1] : nullptr;
    const char* resultsPath = argc > 2 ? argv[2] : "results.md";
    const char* dataPath = argc > 3 ? argv[3] : "per-record.dat";
    Table table;

    std::vector<char> out(1000000 * 64 + 1);  // these records are at most 60 characters
    std::vector<PerRecord> curve;
    for (size_t n : {1000u, 10000u, 100000u, 1000000u}) {
        PerRecord p = Listing(n, out);
        curve.push_back(p);
        table.add(Format("RyFtpDir, %.0f synthetic records: per record / floor", n).c_str(),
                  Format("%.1f ns / %.1f ns = **%.2f**", p.ryinet, p.floor, p.ryinet / p.floor), "<= 1.5");
    }
    const PerRecord &k1 = curve.front(), &m1 = curve.back();
    table.add("RyFtpDir per record, 1M / 1k", Format("**%.3f**", m1.ryinet / k1.ryinet), "<= 1.2");
    // What the machine adds as the text outgrows its caches, and what is RYINET's own.
    table.add("floor per record, 1M / 1k", Format("%.3f", m1.floor / k1.floor));
    table.add("RyFtpDir's own cost (per record minus floor), 1k and 1M",
              Format("%.1f ns and %.1f ns", k1.ryinet - k1.floor, m1.ryinet - m1.floor));
    if (server) RealServer(server, table);
    Binding(table);
    Phonebooks(table);

    char self[MAX_PATH];
    GetModuleFileNameA(GetModuleHandleA("RYINET.dll"), self, MAX_PATH);
    WIN32_FILE_ATTRIBUTE_DATA a;
    GetFileAttributesExA(self, GetFileExInfoStandard, &a);
    table.add("RYINET.dll size", Format("%.0f bytes", a.nFileSizeLow));

    // bench/run.sh prints the table once every benchmark has added its rows.
    std::string text = "| figure | measured | target |\n|---|---|---|\n" + table.rows;
    if (FILE* f = fopen(resultsPath, "wb")) {
        fputs(text.c_str(), f);
        fclose(f);
    }
    if (FILE* f = fopen(dataPath, "wb")) {
        fprintf(f, "# records  RyFtpDir_ns  floor_ns\n");
        for (const PerRecord& p : curve) fprintf(f, "%u %.2f %.2f\n", static_cast<unsigned>(p.n), p.ryinet, p.floor);
        fclose(f);
    }
    return 0;
}
