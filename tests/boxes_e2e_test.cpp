// Real boxes on a real (virtual) display: a WH_CBT hook reads each box as it is
// activated (caption, text, owner) and dismisses it, so nothing waits for a person.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "ftp_env.h"
#include "iat.h"
#include "ryinet.h"

namespace {

struct ShownBox {
    HWND owner;
    std::string caption;
    std::string text;
};
std::vector<ShownBox> g_shown;

const int kMessageBoxText = 0xFFFF;  // the static control that holds a message box's text

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char cls[64] = "";
        GetClassNameA(box, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") == 0) {
            char caption[256] = "", text[512] = "";
            GetWindowTextA(box, caption, sizeof caption);
            GetDlgItemTextA(box, kMessageBoxText, text, sizeof text);
            g_shown.push_back({GetWindow(box, GW_OWNER), caption, text});
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class RealBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run: the boxes must really show";
        g_shown.clear();
        hook_ = SetWindowsHookExA(WH_CBT, &WatchBoxes, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook_, nullptr);
        owner_ = CreateWindowExA(0, "STATIC", "RYINET host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner_);
        UnhookWindowsHookEx(hook_);
    }
    HHOOK hook_ = nullptr;
    HWND owner_ = nullptr;
};

TEST_F(RealBoxes, AFailedConnectShowsItsBoxOwnedByTheHostWindow) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    DWORD session = RyINetOpen(owner_);
    ASSERT_NE(session, 0u);
    EXPECT_EQ(RyFtpConnect(session, 0, owner_, kUnreachableHost, "u", "p"), 0u);
    RyINetClose(session, owner_);
    FreeLibrary(wininet);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].owner, owner_);
    EXPECT_EQ(g_shown[0].caption, "FTP");
    EXPECT_EQ(g_shown[0].text, "FtpConnect (c8) Could not connect to site.");
}

TEST_F(RealBoxes, ADamagedModuleShowsTheErrorBoxWithoutOwnerAndDoesNotLoad) {
    char self[MAX_PATH];
    GetModuleFileNameA(Ryinet(), self, MAX_PATH);
    bool ok = false;
    std::string image = ReadWholeFile(self, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GT(image.size(), 0x500u);
    image[0x500] ^= 0x40;  // inside the first section
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string copy = std::string(dir) + "rydamaged.dll";
    WriteWholeFile(copy, image);
    HMODULE m = LoadLibraryA(copy.c_str());
    EXPECT_EQ(m, nullptr);
    if (m) FreeLibrary(m);
    DeleteFileA(copy.c_str());
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].owner, nullptr);
    EXPECT_EQ(g_shown[0].caption, "RYINET");
    EXPECT_EQ(g_shown[0].text, "RYINET.DLL has been damaged or modified and cannot be loaded.");
}

}  // namespace
