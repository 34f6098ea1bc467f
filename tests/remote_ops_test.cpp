// Remote file and directory operations against real servers, checked on the served tree
// itself, plus the platform arguments and the missing-entry outcomes.
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "boxes.h"
#include "connected.h"
#include "entries.h"
#include "ftp_env.h"
#include "ryinet.h"
#include "ryinet_kit.h"

using namespace boxes;

namespace {

const HWND kOwner = reinterpret_cast<HWND>(0x99);

class Remote : public ServerConnection {
protected:
    Remote() : ServerConnection(kOwner) {}
    std::string Local(const std::string& name) const { return server_.path(name); }
    std::string Name(const char* stem) const { return std::string(stem) + "_" + GetParam(); }
    std::string CurDir() {
        char dir[RYINET_CURDIR_BYTES];
        memset(dir, 'x', sizeof dir);
        RyFtpCurDir(connection_, kOwner, dir);
        return dir;
    }
    std::string Under(const std::string& rel) const { return base_ == "/" ? "/" + rel : base_ + "/" + rel; }
};

// ---- What the server's tree shows after a successful operation ---------------------------

TEST_P(Remote, MakeRenameDeleteAndRemoveChangeTheTreeWithoutABox) {
    std::string made = Name("made");
    EXPECT_EQ(RyFtpMd(connection_, kOwner, made.c_str()), 0);
    EXPECT_TRUE(DirectoryExists(Local(made)));

    std::string from = Name("from"), to = Name("to");
    WriteWholeFile(Local(from), "moving content");
    EXPECT_EQ(RyFRenFile(connection_, kOwner, from.c_str(), to.c_str()), 0);
    EXPECT_FALSE(FileExists(Local(from)));
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(Local(to), &ok), "moving content");
    EXPECT_TRUE(ok);

    EXPECT_EQ(RyFDelFile(connection_, kOwner, to.c_str()), 0);
    EXPECT_FALSE(FileExists(Local(to)));

    EXPECT_EQ(RyFtpRd(connection_, kOwner, made.c_str()), 0);
    EXPECT_FALSE(DirectoryExists(Local(made)));
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_P(Remote, CurrentDirectoryFollowsAbsoluteAndRelativeChanges) {
    EXPECT_EQ(CurDir(), base_);
    EXPECT_EQ(RyFSetDir(connection_, 0xFFFFFFFF, "pub"), 0);
    EXPECT_EQ(CurDir(), Under("pub"));
    RyFSetDir(connection_, 0, "deep");
    EXPECT_EQ(CurDir(), Under("pub/deep"));
    RyFSetDir(connection_, 0, "..");
    EXPECT_EQ(CurDir(), Under("pub"));
    RyFSetDir(connection_, 0, base_.c_str());
    EXPECT_EQ(CurDir(), base_);
    // Names are relative to the remote current directory.
    RyFSetDir(connection_, 0, "pub");
    std::string made = Name("nested");
    RyFtpMd(connection_, kOwner, made.c_str());
    EXPECT_TRUE(DirectoryExists(Local("pub/" + made)));
    RyFtpRd(connection_, kOwner, made.c_str());
    EXPECT_TRUE(boxes_.take().empty());
}

// ---- Refusals -------------------------------------------------------------------------

TEST_P(Remote, RefusalsShowTheirBoxOwnedByTheHostAndLeaveTheTree) {
    EXPECT_EQ(RyFtpRd(connection_, kOwner, "full"), 0);
    EXPECT_TRUE(FileExists(Local("full/keep.txt")));
    EXPECT_EQ(RyFDelFile(connection_, kOwner, "no-such-file"), 0);
    EXPECT_EQ(RyFRenFile(connection_, kOwner, "no-such-file", "other"), 0);
    EXPECT_FALSE(FileExists(Local("other")));
    EXPECT_EQ(RyFtpMd(connection_, kOwner, "pub"), 0);
    EXPECT_EQ(RyFtpOpenFile(kOwner, connection_, "no-such-file"), 0u);
    EXPECT_EQ(boxes_.take(), (std::vector<BoxSeen>{B12(kOwner), B9(kOwner), B10(kOwner), B11(kOwner), B13(kOwner)}));
}

TEST_P(Remote, ARefusedChangeOfDirectoryIsSilentAndChangesNothing) {
    RyFSetDir(connection_, 0, "pub");
    EXPECT_EQ(RyFSetDir(connection_, 0, "no-such-dir"), 0);
    EXPECT_EQ(CurDir(), Under("pub"));
    EXPECT_TRUE(boxes_.take().empty());
}

// ---- Reading an opened file through the platform --------------------------------------

// Read to the end and closed as a careful host does: the copy Wine's WININET keeps in
// the URL cache is deleted once the handle is closed. RyINetClose's result, or -1.
std::string ReadAndClose(DWORD file, LONG* closed) {
    HINTERNET h = reinterpret_cast<HINTERNET>(file);
    std::string out;
    char chunk[4096];
    DWORD got = 0;
    while (InternetReadFile(h, chunk, sizeof chunk, &got) && got) out.append(chunk, got);
    WCHAR copy[MAX_PATH];
    BOOL cached = RyKitCachedCopy(h, copy);
    *closed = RyINetClose(file, kOwner);
    if (cached) DeleteFileW(copy);
    return out;
}

TEST_P(Remote, AnOpenedFileReadsBackByteForByteInBinaryMode) {
    for (const char* name : {"binary.bin", "readme.txt", "empty.dat"}) {
        DWORD file = RyFtpOpenFile(kOwner, connection_, name);
        ASSERT_NE(file, 0u) << name;
        LONG closed = -1;
        std::string remote = ReadAndClose(file, &closed);
        EXPECT_EQ(closed, 0);  // the file first, then the connection
        bool ok = false;
        std::string local = ReadWholeFile(Local(name), &ok);
        ASSERT_TRUE(ok) << name;
        EXPECT_EQ(remote, local) << name;
    }
    bool ok = false;
    EXPECT_NE(ReadWholeFile(Local("binary.bin"), &ok).find(std::string("\r\n\0", 3)), std::string::npos)
        << "the binary sample must hold CR/LF and zero bytes";
    EXPECT_TRUE(boxes_.take().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, Remote, ::testing::Values("PYFTPD", "VSFTPD", "PUREFTPD", "TWISTED"));

// ---- The platform's side of the calls ---------------------------------------------------

struct Seen {
    HINTERNET connection = nullptr;
    std::string name;
    DWORD access = 0, flags = 0, length = 0;
    DWORD_PTR context = 1;
    char* buffer = nullptr;
} g_seen;

HINTERNET WINAPI FakeOpenFile(HINTERNET c, LPCSTR name, DWORD access, DWORD flags, DWORD_PTR context) {
    g_seen.connection = c;
    g_seen.name = name;
    g_seen.access = access;
    g_seen.flags = flags;
    g_seen.context = context;
    return reinterpret_cast<HINTERNET>(0xF11E);
}

BOOL WINAPI FakeCurDir(HINTERNET c, LPSTR buffer, LPDWORD length) {
    g_seen.connection = c;
    g_seen.buffer = buffer;
    g_seen.length = *length;
    lstrcpyA(buffer, "/from/the/platform");
    *length = 18;
    return TRUE;
}

class Platform : public ::testing::Test {
protected:
    void SetUp() override { g_seen = Seen(); }
    EntryControl entries_;
    BoxRecorder boxes_;
};

TEST_F(Platform, OpenFileAsksForBinaryReadingWithContextZero) {
    entries_.answer("FtpOpenFileA", &FakeOpenFile);
    EXPECT_EQ(RyFtpOpenFile(kOwner, 0xC0, "remote.bin"), 0xF11Eu);
    EXPECT_EQ(g_seen.connection, reinterpret_cast<HINTERNET>(0xC0));
    EXPECT_EQ(g_seen.name, "remote.bin");
    EXPECT_EQ(g_seen.access, 0x80000000u);
    EXPECT_EQ(g_seen.flags, 2u);
    EXPECT_EQ(g_seen.context, 0u);
    EXPECT_TRUE(boxes_.take().empty());
}

TEST_F(Platform, CurrentDirectoryOffersTheHostsWholeBufferToThePlatform) {
    entries_.answer("FtpGetCurrentDirectoryA", &FakeCurDir);
    char dir[RYINET_CURDIR_BYTES] = "stale";
    EXPECT_EQ(RyFtpCurDir(0xC0, kOwner, dir), 0);
    EXPECT_EQ(g_seen.buffer, dir);
    EXPECT_EQ(g_seen.length, static_cast<DWORD>(RYINET_CURDIR_BYTES));
    EXPECT_STREQ(dir, "/from/the/platform");
}

}  // namespace
