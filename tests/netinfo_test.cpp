// Connected state and the local address: against the platform's own answers, with the
// sockets layer's failures injected through RYINET's WSOCK32 imports, and from many threads.
#include <winsock.h>
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include "boxes.h"
#include "entries.h"
#include "iat.h"
#include "ryinet.h"

namespace {

// The platform's own answers, computed in the test.
LONG PlatformConnected() {
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0) == 1 ? 1 : 0;
}

std::string PlatformLastAddress() {
    WSADATA data;
    WSAStartup(0x0101, &data);
    char name[80];
    gethostname(name, sizeof name);
    std::string last;
    if (hostent* h = gethostbyname(name))
        for (char** a = h->h_addr_list; *a; ++a) {
            in_addr in;
            memcpy(&in, *a, 4);
            last = inet_ntoa(in);
        }
    WSACleanup();
    return last;
}

// ---- Connected state ---------------------------------------------------------------------

TEST(Connected, AgreesWithThePlatform) { EXPECT_EQ(RyINetConn(), PlatformConnected()); }

BOOL g_answer;
DWORD g_reserved;
BOOL WINAPI FakeConnectedState(LPDWORD flags, DWORD reserved) {
    *flags = 0xFFFFFFFF;
    g_reserved = reserved;
    return g_answer;
}

TEST(Connected, IsOneOnlyWhenThePlatformSaysExactlyOne) {
    EntryControl entries;
    BoxRecorder boxes;
    entries.answer("InternetGetConnectedState", &FakeConnectedState);
    g_reserved = 0xDEAD;
    for (BOOL answer : {1, 0, 2, -1}) {
        g_answer = answer;
        EXPECT_EQ(RyINetConn(), answer == 1 ? 1 : 0) << answer;
    }
    EXPECT_EQ(g_reserved, 0u);
    EXPECT_TRUE(boxes.take().empty());
}

// ---- Local address against the platform -------------------------------------------------------

TEST(LocalAddress, IsTheLastAddressThePlatformListsForTheLocalName) {
    std::string expected = PlatformLastAddress();
    ASSERT_FALSE(expected.empty());
    char ip[RYINET_ADDRESS_BYTES];
    strcpy(ip, "255.255.255.255");
    EXPECT_EQ(RyGetIp(ip, nullptr), 0);
    EXPECT_EQ(std::string(ip), expected);
    char again[RYINET_ADDRESS_BYTES] = "";
    EXPECT_EQ(RyGetIp(again, "some.other.host.example"), 0) << "the second argument is not used";
    EXPECT_STREQ(again, ip);
}

// ---- The sockets layer, scripted ----------------------------------------------------------

struct Script {
    int startResult = 0;
    WORD askedVersion = 0;
    int nameResult = 0;
    int nameLength = 0;
    std::string lookedUp;
    bool lookupFails = false;
    std::vector<in_addr> addresses;
    int startups = 0, cleanups = 0, names = 0, lookups = 0;
} g_script;

int WINAPI FakeStartup(WORD version, LPWSADATA data) {
    ++g_script.startups;
    g_script.askedVersion = version;
    memset(data, 0, sizeof *data);
    return g_script.startResult;
}
int WINAPI FakeCleanup() { return ++g_script.cleanups, 0; }
int WINAPI FakeHostName(char* name, int length) {
    ++g_script.names;
    g_script.nameLength = length;
    if (g_script.nameResult != 0) return SOCKET_ERROR;
    lstrcpynA(name, "ry-host", length);
    return 0;
}
hostent* WINAPI FakeLookup(const char* name) {
    static hostent host;
    static std::vector<char*> list;
    ++g_script.lookups;
    g_script.lookedUp = name;
    if (g_script.lookupFails) return nullptr;
    list.clear();
    for (in_addr& a : g_script.addresses) list.push_back(reinterpret_cast<char*>(&a));
    list.push_back(nullptr);
    host.h_name = const_cast<char*>("ry-host");
    host.h_addrtype = AF_INET;
    host.h_length = 4;
    host.h_addr_list = list.data();
    return &host;
}

in_addr Address(BYTE a, BYTE b, BYTE c, BYTE d) {
    in_addr in;
    in.S_un.S_un_b = {a, b, c, d};
    return in;
}

class Sockets : public ::testing::Test {
protected:
    void SetUp() override {
        g_script = Script();
        for (auto* p : {&start_, &clean_, &name_, &lookup_}) ASSERT_TRUE(p->active());
        strcpy(ip_, "as passed");
    }
    void ExpectUntouched() { EXPECT_STREQ(ip_, "as passed"); }
    ImportPatch start_{Ryinet(), "WSOCK32.DLL", "WSAStartup", reinterpret_cast<void*>(&FakeStartup)};
    ImportPatch clean_{Ryinet(), "WSOCK32.DLL", "WSACleanup", reinterpret_cast<void*>(&FakeCleanup)};
    ImportPatch name_{Ryinet(), "WSOCK32.DLL", "gethostname", reinterpret_cast<void*>(&FakeHostName)};
    ImportPatch lookup_{Ryinet(), "WSOCK32.DLL", "gethostbyname", reinterpret_cast<void*>(&FakeLookup)};
    BoxRecorder boxes_;
    char ip_[RYINET_ADDRESS_BYTES];
};

TEST_F(Sockets, SeveralAddressesGiveTheLastOneAndAskForSockets11) {
    g_script.addresses = {Address(10, 1, 2, 3), Address(192, 168, 200, 201), Address(172, 16, 0, 9)};
    EXPECT_EQ(RyGetIp(ip_, nullptr), 0);
    EXPECT_STREQ(ip_, "172.16.0.9");
    EXPECT_EQ(g_script.askedVersion, 0x0101);
    EXPECT_EQ(g_script.nameLength, 80);
    EXPECT_EQ(g_script.lookedUp, "ry-host");
    EXPECT_EQ(g_script.cleanups, 1);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Sockets, TheLongestAddressFillsSixteenBytes) {
    g_script.addresses = {Address(255, 255, 255, 254)};
    char exact[RYINET_ADDRESS_BYTES + 1];
    memset(exact, 'z', sizeof exact);
    EXPECT_EQ(RyGetIp(exact, nullptr), 0);
    EXPECT_STREQ(exact, "255.255.255.254");
    EXPECT_EQ(exact[RYINET_ADDRESS_BYTES], 'z');
}

TEST_F(Sockets, AnEmptyAddressListReturnsZeroAndLeavesTheBuffer) {
    EXPECT_EQ(RyGetIp(ip_, nullptr), 0);
    ExpectUntouched();
    EXPECT_EQ(g_script.cleanups, 1);
}

TEST_F(Sockets, AFailedStartUpReturnsMinusOneAndDoesNothingElse) {
    g_script.startResult = WSASYSNOTREADY;
    EXPECT_EQ(RyGetIp(ip_, "x"), -1);
    ExpectUntouched();
    EXPECT_EQ(g_script.names + g_script.lookups + g_script.cleanups, 0);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Sockets, AFailedHostNameReturnsMinusOneAfterCleanUp) {
    g_script.nameResult = SOCKET_ERROR;
    EXPECT_EQ(RyGetIp(ip_, nullptr), -1);
    ExpectUntouched();
    EXPECT_EQ(g_script.lookups, 0);
    EXPECT_EQ(g_script.cleanups, 1);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Sockets, AFailedLookupShowsB14WithoutOwnerAndReturnsMinusOne) {
    g_script.lookupFails = true;
    EXPECT_EQ(RyGetIp(ip_, nullptr), -1);
    ExpectUntouched();
    EXPECT_EQ(g_script.cleanups, 1);
    EXPECT_EQ(boxes_.take(), std::vector<BoxSeen>{boxes::B14()});
}

// ---- Many host threads at once ---------------------------------------------------------

TEST(Concurrency, ManyThreadsGetCorrectAnswersAtOnce) {
    const std::string address = PlatformLastAddress();
    const LONG connected = PlatformConnected();
    std::atomic<int> wrong{0}, calls{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                char ip[RYINET_ADDRESS_BYTES] = "";
                if (RyGetIp(ip, nullptr) != 0 || address != ip) ++wrong;
                if (RyINetConn() != connected) ++wrong;
                calls += 2;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(calls.load(), 8 * 40 * 2);
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
