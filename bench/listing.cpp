// bench/listing [server]: how RyFtpDir's time grows with the listing, from synthetic find
// records (no network), and what it costs over the platform's own find loop on a real
// 30-entry listing. Prints figures; asserts nothing.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <vector>
#include "entries.h"
#include "listing.h"
#include "ryinet.h"

namespace {

using Clock = std::chrono::steady_clock;

void Record(size_t i, WIN32_FIND_DATAA& r) {
    r = WIN32_FIND_DATAA();
    wsprintfA(r.cFileName, "report-%07u.txt", static_cast<unsigned>(i));
    r.dwFileAttributes = i % 9 == 0 ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    r.nFileSizeLow = static_cast<DWORD>(i * 40503u);
    ULONGLONG t = 126000000000000000ull + i * 10000000ull;
    r.ftLastWriteTime = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

// Seconds for one listing of count synthetic records, best of several runs.
double SyntheticListing(size_t count, std::vector<char>& buffer) {
    EntryControl entries;
    SyntheticFinds source(entries, count, &Record);
    int runs = count <= 10000 ? 200 : count <= 100000 ? 10 : 3;
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        RyFtpDir(0xC0, nullptr, "*", 0, buffer.data());
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void RealListing(const char* server) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    DWORD session = RyINetOpen(nullptr);
    DWORD connection = RyFtpConnect(session, 0, nullptr, server, "anonymous", "bench@ryinet");
    if (!connection) {
        printf("real listing: no connection to %s\n", server);
        return;
    }
    std::vector<char> buffer(64 * 290 + 1);
    std::vector<double> ry, raw;
    size_t entries = 0;
    for (int i = 0; i < 7; ++i) {
        auto a = Clock::now();
        RyFtpDir(connection, nullptr, "*", 0, buffer.data());
        auto b = Clock::now();
        entries = RawFind(reinterpret_cast<HINTERNET>(connection), "*").size();
        auto c = Clock::now();
        ry.push_back(std::chrono::duration<double>(b - a).count());
        raw.push_back(std::chrono::duration<double>(c - b).count());
    }
    double r = Median(ry), w = Median(raw);
    printf("real %zu-entry listing on %s (median of 7): RyFtpDir %.1f ms, raw find loop %.1f ms, ratio %.3f\n",
           entries, server, r * 1e3, w * 1e3, r / w);
    RyINetClose(connection, nullptr);
    RyINetClose(session, nullptr);
    FreeLibrary(wininet);
}

}  // namespace

int main(int argc, char** argv) {
    const size_t sizes[] = {1000, 10000, 100000, 1000000};
    std::vector<char> buffer(1000000 * 64 + 1);  // records here are at most 60 characters
    double perRecord1k = 0, perRecord1m = 0;
    printf("%10s %12s %14s\n", "records", "total ms", "ns per record");
    for (size_t n : sizes) {
        double t = SyntheticListing(n, buffer);
        double per = t / n * 1e9;
        if (n == 1000) perRecord1k = per;
        if (n == 1000000) perRecord1m = per;
        printf("%10zu %12.3f %14.1f\n", n, t * 1e3, per);
    }
    printf("per-record time at 1M / at 1k: %.3f (target <= 1.2)\n", perRecord1m / perRecord1k);
    if (argc > 1) RealListing(argv[1]);
    return 0;
}
