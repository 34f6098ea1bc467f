// Every internet export without its library, and without each entry it resolves, from one
// table. The library-missing column runs in a process where the internet library cannot
// load at all (no_internet_test); the entry-missing column takes entries away one at a
// time through RYINET's GetProcAddress import (missing_entry_test).
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <functional>
#include <string>
#include <vector>
#include "boxes.h"
#include "entries.h"
#include "ryinet.h"

using namespace boxes;

namespace {
const HWND kOwner = reinterpret_cast<HWND>(0x4242);
const DWORD kConnection = 0xC0;  // never a real handle: nothing may reach a server
const char kStale[] = "stale text";

struct Outcome {
    LONG result;
    const char* buffer;  // what the host's buffer holds afterwards
    std::vector<BoxSeen> boxes;
};

struct Row {
    const char* name;
    std::vector<const char*> entries;
    std::function<LONG(char* buffer)> call;
    Outcome noLibrary, noEntry;
};

const std::vector<Row>& Table() {
    static const std::vector<Row> rows = {
        {"RyINetConn", {"InternetGetConnectedState"}, [](char*) { return RyINetConn(); },
         {0, kStale, {}}, {0, kStale, {}}},
        {"RyINetOpen", {"InternetOpenA"}, [](char*) { return LONG(RyINetOpen(kOwner)); },
         {0, kStale, {}}, {0, kStale, {B1(kOwner)}}},
        {"RyINetClose", {"InternetCloseHandle"}, [](char*) { return RyINetClose(kConnection, kOwner); },
         {0, kStale, {}}, {0, kStale, {B3(kOwner)}}},
        {"RyFtpConnect", {"InternetConnectA"},
         [](char*) { return LONG(RyFtpConnect(0x5E55, 0, kOwner, "127.0.0.9", "u", "p")); },
         {0, kStale, {B5(kOwner), B6(kOwner)}}, {0, kStale, {B4(kOwner), B6(kOwner)}}},
        {"RyFtpDir", {"FtpFindFirstFileA", "InternetFindNextFileA"},
         [](char* b) { return RyFtpDir(kConnection, kOwner, "*", 0, b); },
         {1, "", {}}, {1, "", {B7(kOwner)}}},
        {"RyFSetDir", {"FtpSetCurrentDirectoryA"}, [](char*) { return RyFSetDir(kConnection, 0, "/pub"); },
         {0, kStale, {}}, {0, kStale, {}}},
        {"RyFtpCurDir", {"FtpGetCurrentDirectoryA"}, [](char* b) { return RyFtpCurDir(kConnection, kOwner, b); },
         {0, kStale, {}}, {0, "", {B8(kOwner)}}},
        {"RyFDelFile", {"FtpDeleteFileA"}, [](char*) { return RyFDelFile(kConnection, kOwner, "a"); },
         {0, kStale, {}}, {0, kStale, {}}},
        {"RyFRenFile", {"FtpRenameFileA"}, [](char*) { return RyFRenFile(kConnection, kOwner, "a", "b"); },
         {0, kStale, {}}, {0, kStale, {}}},
        {"RyFtpMd", {"FtpCreateDirectoryA"}, [](char*) { return RyFtpMd(kConnection, kOwner, "d"); },
         {0, kStale, {}}, {0, kStale, {}}},
        {"RyFtpRd", {"FtpRemoveDirectoryA"}, [](char*) { return RyFtpRd(kConnection, kOwner, "d"); },
         {0, kStale, {}}, {0, kStale, {}}},
        {"RyFtpOpenFile", {"FtpOpenFileA"}, [](char*) { return LONG(RyFtpOpenFile(kOwner, kConnection, "a")); },
         {0, kStale, {}}, {0, kStale, {}}},
    };
    return rows;
}

void ExpectOutcome(const Row& row, const Outcome& expected, const std::string& situation) {
    BoxRecorder boxes;
    char buffer[300];
    memset(buffer, 'k', sizeof buffer);
    strcpy(buffer, kStale);
    EXPECT_EQ(row.call(buffer), expected.result) << situation;
    EXPECT_STREQ(buffer, expected.buffer) << situation;
    EXPECT_EQ(buffer[sizeof kStale + 1], 'k') << situation << ": wrote past the text";
    EXPECT_EQ(boxes.take(), expected.boxes) << situation;
}

TEST(NoInternetLibrary, EveryInternetExportTakesItsMissingLibraryPath) {
    ASSERT_EQ(LoadLibraryA("wininet.dll"), nullptr) << "the process was meant to run without the internet library";
    for (const Row& row : Table()) ExpectOutcome(row, row.noLibrary, row.name);
}

TEST(NoInternetLibrary, DialUpAndAddressStillWork) {
    BoxRecorder boxes;
    char ip[RYINET_ADDRESS_BYTES] = "";
    EXPECT_EQ(RyGetIp(ip, nullptr), 0);
    EXPECT_NE(ip[0], '\0');
    char names[300] = "stale";
    EXPECT_EQ(RyRasEnumE(0, names), 0);
    EXPECT_STREQ(names, "") << "the platform's phonebook is empty";
    EXPECT_TRUE(boxes.take().empty());
}

TEST(MissingEntry, EveryInternetExportTakesItsMissingEntryPath) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    ASSERT_NE(wininet, nullptr);
    for (const Row& row : Table())
        for (const char* entry : row.entries) {
            EntryControl entries;
            entries.refuse(entry);
            ExpectOutcome(row, row.noEntry, std::string(row.name) + " without " + entry);
            // Every entry is resolved before any is tested, so none is used half-bound.
            for (const char* e : row.entries) EXPECT_EQ(entries.lookups(e), 1) << row.name << " " << e;
        }
    FreeLibrary(wininet);
}

}  // namespace
