// Sessions, connections and closing, against real servers and with the internet
// library's entries taken away or answered by the test.
#include <windows.h>
#include <gtest/gtest.h>
#include <wininet.h>
#include <stdio.h>
#include <string>
#include <thread>
#include <vector>
#include "boxes.h"
#include "entries.h"
#include "ftp_env.h"
#include "ryinet.h"

using namespace boxes;

namespace {

const HWND kOwner = reinterpret_cast<HWND>(0x1234);

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        // A host keeps the internet library loaded while it holds its handles.
        wininet_ = LoadLibraryA("wininet.dll");
        session_ = RyINetOpen(kOwner);
        ASSERT_NE(session_, 0u);
        ASSERT_TRUE(boxes_.take().empty());
    }
    void TearDown() override {
        RyINetClose(session_, kOwner);
        FreeLibrary(wininet_);
    }
    HMODULE wininet_ = nullptr;
    DWORD session_ = 0;
    BoxRecorder boxes_;
};

TEST_F(Session, GoodLoginGivesAConnectionAndNoBox) {
    FtpServer server = ServerFromEnvironment("PYFTPD");
    DWORD connection = RyFtpConnect(session_, 0xDEADBEEF, kOwner, server.host.c_str(), kUser, kPassword);
    ASSERT_NE(connection, 0u);
    // The connection outlives the call's own binding: the platform can still use it.
    char dir[MAX_PATH] = "";
    DWORD length = sizeof dir;
    EXPECT_TRUE(FtpGetCurrentDirectoryA(reinterpret_cast<HINTERNET>(connection), dir, &length));
    EXPECT_STREQ(dir, "/");
    EXPECT_EQ(RyINetClose(connection, kOwner), 0);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Session, AnonymousLoginOnEachServer) {
    for (const char* name : {"PYFTPD", "VSFTPD"}) {
        FtpServer server = ServerFromEnvironment(name);
        DWORD connection = RyFtpConnect(session_, 0, kOwner, server.host.c_str(), "anonymous", "ry@example.org");
        EXPECT_NE(connection, 0u) << name;
        RyINetClose(connection, kOwner);
    }
    EXPECT_TRUE(boxes_.take().empty());
}

// Every way a connect can fail ends with B6, once, and no connection. A server that never
// greets is waited for as long as the platform waits (60 s under Wine).
TEST_F(Session, EveryFailedConnectShowsB6OnceAndReturnsZero) {
    struct Case {
        const char* what;
        std::string host;
        const char* password;
    } cases[] = {
        {"login refused", ServerFromEnvironment("PYFTPD").host, "wrong"},
        {"unreachable address", kUnreachableHost, kPassword},
        {"closes right after its greeting", ServerFromEnvironment("HANGUP").host, kPassword},
        {"never answers its greeting", ServerFromEnvironment("SILENT").host, kPassword},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.host.empty()) << c.what;
        EXPECT_EQ(RyFtpConnect(session_, 0, kOwner, c.host.c_str(), kUser, c.password), 0u) << c.what;
        EXPECT_EQ(boxes_.take(), std::vector<BoxSeen>{B6(kOwner)}) << c.what;
    }
}

// The platform ignores its timeout options for FTP; a host that will not wait that long
// closes its own session from another thread, which ends the connect at once.
TEST_F(Session, AHostCutsTheWaitForASilentServerByClosingItsSession) {
    std::string silent = ServerFromEnvironment("SILENT").host;
    DWORD session = session_;
    std::thread watchdog([session] {
        Sleep(1500);
        RyINetClose(session, nullptr);
    });
    DWORD started = GetTickCount();
    EXPECT_EQ(RyFtpConnect(session_, 0, kOwner, silent.c_str(), kUser, kPassword), 0u);
    DWORD waited = GetTickCount() - started;
    watchdog.join();
    session_ = 0;
    EXPECT_LT(waited, 10000u);
    EXPECT_EQ(boxes_.take(), std::vector<BoxSeen>{B6(kOwner)});
}

TEST_F(Session, ZeroOwnerGivesTheSameBoxWithoutOwner) {
    EXPECT_EQ(RyFtpConnect(session_, 0, nullptr, kUnreachableHost, kUser, kPassword), 0u);
    EXPECT_EQ(boxes_.take(), std::vector<BoxSeen>{B6(nullptr)});
}

TEST_F(Session, ConnectionsAndSessionsCloseInHostOrder) {
    FtpServer server = ServerFromEnvironment("PYFTPD");
    DWORD a = RyFtpConnect(session_, 0, kOwner, server.host.c_str(), kUser, kPassword);
    DWORD b = RyFtpConnect(session_, 0, kOwner, server.host.c_str(), "anonymous", "x@y");
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RyINetClose(b, kOwner), 0);
    EXPECT_EQ(RyINetClose(a, kOwner), 0);
    EXPECT_TRUE(boxes_.take().empty());
}

// ---- The platform's side of the calls, answered by the test --------------------

struct Recorded {
    std::vector<std::string> strings;
    std::vector<DWORD> values;
    int calls = 0;
} g_rec;

HINTERNET WINAPI FakeOpen(LPCSTR agent, DWORD access, LPCSTR proxy, LPCSTR bypass, DWORD flags) {
    ++g_rec.calls;
    g_rec.strings = {agent ? agent : "(null)"};
    g_rec.values = {access, reinterpret_cast<DWORD>(proxy), reinterpret_cast<DWORD>(bypass), flags};
    return nullptr;
}

HINTERNET WINAPI FakeConnect(HINTERNET session, LPCSTR server, INTERNET_PORT port, LPCSTR user,
                             LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context) {
    ++g_rec.calls;
    g_rec.strings = {server, user, password};
    g_rec.values = {reinterpret_cast<DWORD>(session), port, service, flags, context};
    return reinterpret_cast<HINTERNET>(0xC0FFEE);
}

BOOL WINAPI FakeClose(HINTERNET handle) {
    ++g_rec.calls;
    g_rec.values = {reinterpret_cast<DWORD>(handle)};
    return FALSE;
}

class Platform : public ::testing::Test {
protected:
    void SetUp() override { g_rec = Recorded(); }
    BoxRecorder boxes_;
    EntryControl entries_;
};

TEST_F(Platform, SessionUsesTheFixedSettingsAndAFailedOpenShowsB2) {
    entries_.answer("InternetOpenA", &FakeOpen);
    EXPECT_EQ(RyINetOpen(kOwner), 0u);
    ASSERT_EQ(g_rec.calls, 1);
    EXPECT_EQ(g_rec.strings[0], "RY");
    EXPECT_EQ(g_rec.values, (std::vector<DWORD>{1, 0, 0, 0}));
    EXPECT_EQ(boxes_.take(), std::vector<BoxSeen>{B2(kOwner)});
}

TEST_F(Platform, ConnectionUsesPort21ActiveFtpAndPassesTheHostsTexts) {
    entries_.answer("InternetConnectA", &FakeConnect);
    EXPECT_EQ(RyFtpConnect(0x5E55, 0xFFFFFFFF, kOwner, "ftp.example", "me", "secret"), 0xC0FFEEu);
    ASSERT_EQ(g_rec.calls, 1);
    EXPECT_EQ(g_rec.strings, (std::vector<std::string>{"ftp.example", "me", "secret"}));
    EXPECT_EQ(g_rec.values, (std::vector<DWORD>{0x5E55, 21, INTERNET_SERVICE_FTP, 0, 0}));
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Platform, CloseHandsEveryHandleOnEvenZeroAndIgnoresTheResult) {
    entries_.answer("InternetCloseHandle", &FakeClose);
    EXPECT_EQ(RyINetClose(0, kOwner), 0);
    EXPECT_EQ(g_rec.calls, 1);
    EXPECT_EQ(g_rec.values, std::vector<DWORD>{0});
    EXPECT_EQ(RyINetClose(0xABCD, kOwner), 0);
    EXPECT_EQ(g_rec.values, std::vector<DWORD>{0xABCD});
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Platform, RealCloseOfZeroHandleReturnsZeroWithoutBox) {
    EXPECT_EQ(RyINetClose(0, kOwner), 0);
    EXPECT_TRUE(boxes_.take().empty());
}

}  // namespace
