// Host texts at every text argument: empty, 256 and 257 characters (and null where the
// host may pass it). Texts the platform judges reach it unchanged, the very same pointer,
// and the result and box follow its verdict; a real server gets them too, and the
// connection keeps working afterwards.
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <functional>
#include <string>
#include <vector>
#include "boxes.h"
#include "connected.h"
#include "entries.h"
#include "phonebook.h"
#include "ryinet.h"

using namespace boxes;

namespace {

const HWND kOwner = reinterpret_cast<HWND>(0x7E7);
const std::string k256(256, 'a'), k257(257, 'b');
const std::vector<const char*> kTexts = {"", k256.c_str(), k257.c_str()};

// What the platform's entry received, and what it answers.
std::vector<const void*> g_received;
BOOL g_verdict;

HINTERNET WINAPI Connect(HINTERNET, LPCSTR server, INTERNET_PORT, LPCSTR user, LPCSTR password, DWORD, DWORD,
                         DWORD_PTR) {
    g_received = {server, user, password};
    return g_verdict ? reinterpret_cast<HINTERNET>(0xC0) : nullptr;
}
HINTERNET WINAPI FindFirst(HINTERNET, LPCSTR pattern, LPWIN32_FIND_DATAA, DWORD, DWORD_PTR) {
    g_received = {pattern};
    SetLastError(ERROR_NO_MORE_FILES);
    return nullptr;
}
BOOL WINAPI OneName(HINTERNET, LPCSTR name) { return g_received = {name}, g_verdict; }
BOOL WINAPI TwoNames(HINTERNET, LPCSTR from, LPCSTR to) { return g_received = {from, to}, g_verdict; }
HINTERNET WINAPI OpenFile(HINTERNET, LPCSTR name, DWORD, DWORD, DWORD_PTR) {
    g_received = {name};
    return g_verdict ? reinterpret_cast<HINTERNET>(0xF1) : nullptr;
}

struct TextArgument {
    const char* what;
    const char* entry;
    void* fake;
    int position;  // of the text among the entry's received texts
    std::function<void(const char* text)> call;
    std::vector<BoxSeen> refused;  // the boxes when the platform says no
};

const std::vector<TextArgument>& TextArguments() {
    static const std::vector<TextArgument> table = {
        {"server", "InternetConnectA", (void*)&Connect, 0,
         [](const char* t) { RyFtpConnect(0x5E55, 0, kOwner, t, "u", "p"); }, {B6(kOwner)}},
        {"user", "InternetConnectA", (void*)&Connect, 1,
         [](const char* t) { RyFtpConnect(0x5E55, 0, kOwner, "h", t, "p"); }, {B6(kOwner)}},
        {"password", "InternetConnectA", (void*)&Connect, 2,
         [](const char* t) { RyFtpConnect(0x5E55, 0, kOwner, "h", "u", t); }, {B6(kOwner)}},
        {"pattern", "FtpFindFirstFileA", (void*)&FindFirst, 0,
         [](const char* t) { char b[8]; EXPECT_EQ(RyFtpDir(0xC0, kOwner, t, 0, b), 1); }, {}},
        {"directory to set", "FtpSetCurrentDirectoryA", (void*)&OneName, 0,
         [](const char* t) { RyFSetDir(0xC0, 0, t); }, {}},
        {"file to delete", "FtpDeleteFileA", (void*)&OneName, 0,
         [](const char* t) { RyFDelFile(0xC0, kOwner, t); }, {B9(kOwner)}},
        {"existing name", "FtpRenameFileA", (void*)&TwoNames, 0,
         [](const char* t) { RyFRenFile(0xC0, kOwner, t, "n"); }, {B10(kOwner)}},
        {"new name", "FtpRenameFileA", (void*)&TwoNames, 1,
         [](const char* t) { RyFRenFile(0xC0, kOwner, "e", t); }, {B10(kOwner)}},
        {"directory to make", "FtpCreateDirectoryA", (void*)&OneName, 0,
         [](const char* t) { RyFtpMd(0xC0, kOwner, t); }, {B11(kOwner)}},
        {"directory to remove", "FtpRemoveDirectoryA", (void*)&OneName, 0,
         [](const char* t) { RyFtpRd(0xC0, kOwner, t); }, {B12(kOwner)}},
        {"file to open", "FtpOpenFileA", (void*)&OpenFile, 0,
         [](const char* t) { RyFtpOpenFile(kOwner, 0xC0, t); }, {B13(kOwner)}},
    };
    return table;
}

TEST(Texts, EveryInternetTextReachesThePlatformUnchangedAndItsVerdictDecides) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    BoxRecorder boxes;
    for (const TextArgument& a : TextArguments()) {
        EntryControl entries;
        entries.answer(a.entry, a.fake);
        std::vector<const char*> texts = kTexts;
        if (strcmp(a.what, "pattern") == 0) texts.push_back(nullptr);
        for (const char* text : texts)
            for (BOOL verdict : {TRUE, FALSE}) {
                std::string situation = std::string(a.what) + ", " + std::to_string(text ? strlen(text) : 0) +
                                        (text ? " characters" : " (null)") + (verdict ? ", accepted" : ", refused");
                g_received.clear();
                g_verdict = verdict;
                a.call(text);
                ASSERT_GT(g_received.size(), static_cast<size_t>(a.position)) << situation;
                EXPECT_EQ(g_received[a.position], text) << situation;
                EXPECT_EQ(boxes.take(), verdict ? std::vector<BoxSeen>{} : a.refused) << situation;
            }
    }
    FreeLibrary(wininet);
}

TEST(Texts, TheAddressIgnoresAnyHostName) {
    char expected[RYINET_ADDRESS_BYTES] = "", ip[RYINET_ADDRESS_BYTES];
    ASSERT_EQ(RyGetIp(expected, nullptr), 0);
    for (const char* text : kTexts) {
        strcpy(ip, "stale");
        EXPECT_EQ(RyGetIp(ip, text), 0);
        EXPECT_STREQ(ip, expected);
    }
}

// 256 characters fit the dial-up fields and 257 are refused (see dialup_test); an empty
// name is simply not in the phonebook.
TEST(Texts, EmptyDialUpTextsFindNoEntryAndDialNothing) {
    Phonebook book;
    ASSERT_TRUE(book.installed());
    book.add({"Office", "u", "p", true});
    char user[RYINET_CREDENTIAL_BYTES] = "untouched", password[RYINET_CREDENTIAL_BYTES] = "untouched";
    EXPECT_EQ(RdlParms("", user, password), 0);
    EXPECT_STREQ(user, "untouched");
    EXPECT_STREQ(password, "untouched");
    EXPECT_EQ(RyRasDial(nullptr, "", "", ""), 0u);
    EXPECT_EQ(RyRasDial(nullptr, "Office", "", ""), 0u);
}

// ---- The same texts against a real server -----------------------------------------------------

class RealTexts : public ServerConnection {
protected:
    RealTexts() : ServerConnection(kOwner) {}
};

TEST_P(RealTexts, EmptyAndLongNamesAreRefusedByTheServerAndTheConnectionCarriesOn) {
    char listing[RYINET_LISTING_BYTES(16)], dir[RYINET_CURDIR_BYTES];
    for (const char* text : kTexts) {
        SCOPED_TRACE(strlen(text));
        EXPECT_EQ(RyFtpDir(connection_, kOwner, text, 0, listing), 1);  // the platform finds nothing
        EXPECT_STREQ(listing, "");
        RyFSetDir(connection_, 0, text);
        RyFtpCurDir(connection_, kOwner, dir);
        EXPECT_EQ(base_, dir);
        RyFDelFile(connection_, kOwner, text);
        RyFRenFile(connection_, kOwner, text, text);
        RyFtpMd(connection_, kOwner, text);
        RyFtpRd(connection_, kOwner, text);
        EXPECT_EQ(RyFtpOpenFile(kOwner, connection_, text), 0u);
        EXPECT_EQ(boxes_.take(), (std::vector<BoxSeen>{B9(kOwner), B10(kOwner), B11(kOwner), B12(kOwner),
                                                       B13(kOwner)}));
    }
    EXPECT_EQ(RyFtpDir(connection_, kOwner, "readme.txt", 0, listing), 0);
    EXPECT_EQ(strncmp(listing, "readme.txt;", 11), 0) << listing;
}

INSTANTIATE_TEST_SUITE_P(Servers, RealTexts, ::testing::Values("PYFTPD", "VSFTPD"));

}  // namespace
