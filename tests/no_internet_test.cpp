// Every export in a process where the internet library cannot be loaded at all.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include "boxes.h"
#include "ryinet.h"

using namespace boxes;

namespace {
const HWND kOwner = reinterpret_cast<HWND>(0x4242);

class NoInternetLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        HMODULE m = LoadLibraryA("wininet.dll");
        ASSERT_EQ(m, nullptr) << "the process was meant to run without the internet library";
    }
    BoxRecorder boxes_;
};

TEST_F(NoInternetLibrary, ConnectShowsB5ThenB6) {
    EXPECT_EQ(RyFtpConnect(0x1, 0, kOwner, "127.0.0.2", "u", "p"), 0u);
    EXPECT_EQ(boxes_.take(), (std::vector<BoxSeen>{B5(kOwner), B6(kOwner)}));
}

TEST_F(NoInternetLibrary, ListingIsEmptiedAndReportsNotOpened) {
    char listing[64];
    strcpy(listing, "stale text");
    EXPECT_EQ(RyFtpDir(0x2, kOwner, "*", 0, listing), 1);
    EXPECT_STREQ(listing, "");
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(NoInternetLibrary, CurrentDirectoryBufferIsLeftExactlyAsPassed) {
    char dir[260];
    memset(dir, 'k', sizeof dir);
    dir[259] = '\0';
    char before[260];
    memcpy(before, dir, sizeof dir);
    EXPECT_EQ(RyFtpCurDir(0x2, kOwner, dir), 0);
    EXPECT_EQ(memcmp(dir, before, sizeof dir), 0);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(NoInternetLibrary, EveryOtherInternetExportReturnsZeroSilently) {
    EXPECT_EQ(RyINetConn(), 0);
    EXPECT_EQ(RyINetOpen(kOwner), 0u);
    EXPECT_EQ(RyINetClose(0x2, kOwner), 0);
    EXPECT_EQ(RyFSetDir(0x2, 0, "/pub"), 0);
    EXPECT_EQ(RyFDelFile(0x2, kOwner, "a"), 0);
    EXPECT_EQ(RyFRenFile(0x2, kOwner, "a", "b"), 0);
    EXPECT_EQ(RyFtpMd(0x2, kOwner, "d"), 0);
    EXPECT_EQ(RyFtpRd(0x2, kOwner, "d"), 0);
    EXPECT_EQ(RyFtpOpenFile(kOwner, 0x2, "a"), 0u);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(NoInternetLibrary, DialUpAndAddressStillWork) {
    char ip[16] = "";
    EXPECT_EQ(RyGetIp(ip, nullptr), 0);
    EXPECT_NE(ip[0], '\0');
    char names[300] = "stale";
    EXPECT_EQ(RyRasEnumE(0, names), 0);
    EXPECT_STREQ(names, "") << "the platform's phonebook is empty";
    EXPECT_TRUE(boxes_.take().empty());
}
}  // namespace
