// The host kit (ryinet_kit.h) as a host meets it: a result buffer that commits what the
// library writes and stops what passes it, stored credentials that tell "no such entry"
// from an empty name, the phonebook's names, and a received file that replaces the old
// one only when complete and confirmed by the server.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>
#include "boxes.h"
#include "ftp_env.h"
#include "phonebook.h"
#include "ryinet_kit.h"

namespace {

// ---- The result buffer -----------------------------------------------------------------

TEST(ResultBuffer, AWriteFarIntoItCommitsOnlyThePageItTouched) {
    RyKitBuffer b;
    ASSERT_TRUE(RyKitBufferReserve(&b, 64 << 20, [](void*, size_t) { abort(); }, nullptr));
    b.data[40 << 20] = 'x';
    EXPECT_EQ(RyKitBufferCommitted(&b), 4096u);
    MEMORY_BASIC_INFORMATION m;
    VirtualQuery(b.data, &m, sizeof m);
    EXPECT_EQ(m.State, static_cast<DWORD>(MEM_RESERVE));
    RyKitBufferDecommit(&b);
    EXPECT_EQ(RyKitBufferCommitted(&b), 0u);
    b.data[0] = '\0';  // usable again after the decommit
    RyKitBufferFree(&b);
}

size_t g_stoppedAt;
void StopWriter(void*, size_t bytes) {
    g_stoppedAt = bytes;
    ExitThread(0);
}
struct Write {
    char* at;
    size_t bytes;
};
DWORD WINAPI WriteBytes(void* what) {
    Write* w = static_cast<Write*>(what);
    memset(w->at, 'x', w->bytes);
    return 1;
}

// The text ends where the guard pages begin, so the first byte past the size faults
// as it is written, however little the result passes it.
TEST(ResultBuffer, EveryByteInsideItIsWrittenAndTheFirstByteBeyondIsStopped) {
    for (size_t size : {size_t(5000), size_t(4096), size_t(1)}) {
        RyKitBuffer b;
        ASSERT_TRUE(RyKitBufferReserve(&b, size, &StopWriter, nullptr));
        for (size_t bytes : {size, size + 1}) {
            g_stoppedAt = 0;
            Write w = {b.data, bytes};
            HANDLE writer = CreateThread(nullptr, 0, &WriteBytes, &w, 0, nullptr);
            DWORD code = 2;
            EXPECT_TRUE(WaitForSingleObject(writer, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(writer, &code));
            CloseHandle(writer);
            EXPECT_EQ(code, bytes == size ? 1u : 0u) << size << " bytes of room, " << bytes << " written";
            EXPECT_EQ(g_stoppedAt, bytes == size ? 0u : size);
        }
        RyKitBufferFree(&b);
    }
}

// ---- The phonebook ---------------------------------------------------------------------

TEST(Phonebook, NamesComeOneByOneAndStoredCredentialsTellNoSuchEntryFromEmptyNames) {
    Phonebook book;
    ASSERT_TRUE(book.installed());
    book.add({"Office", "alice", "pw", true});
    book.add({"Blank", "", "", true});  // an empty user name and an empty saved password
    book.add({"Home", "bob", "never-saved", false});
    book.add({"x;y", "u", "p", true});
    std::vector<char> text(RYINET_PHONEBOOK_BYTES(4));
    RyRasEnumE(0, text.data());
    std::vector<std::string> names;
    size_t length;
    for (const char *cursor = text.data(), *name; RyKitNextName(&cursor, &name, &length);)
        names.emplace_back(name, length);
    EXPECT_EQ(names, (std::vector<std::string>{"Office", "Blank", "Home", "x", "y"})) << "names are not escaped";

    // Entry: found, user, saved, password.
    for (std::string expected : {"Office:1:alice:1:pw", "Blank:1::1:", "Home:1:bob:0:", "Nobody:0::0:"}) {
        std::string entry = expected.substr(0, expected.find(':'));
        RyKitCredentials c;
        int found = RyKitReadCredentials(&c, entry.c_str());
        EXPECT_EQ(entry + ":" + std::to_string(found) + ":" + c.user + ":" + std::to_string(c.passwordSaved) + ":" +
                      c.password, expected);
        RyKitWipeCredentials(&c);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(&c), sizeof c), std::string(sizeof c, '\0'));
    }
}

// ---- Receiving a file ------------------------------------------------------------------

// A connection to one of the run's servers, and a local file that is already there.
// A server's names as text and back: UTF-8 (a byte that begins no valid sequence is kept
// as a unit of its own, and comes back), or the ANSI code page once a name was not UTF-8.
TEST(ServerNames, BecomeTextAndComeBackByteForByte) {
    struct Case {
        const char* bytes;
        const wchar_t* text;
    };
    const Case kUtf8[] = {
        {"caf\xc3\xa9.txt", L"caf\u00e9.txt"},
        {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", L"\u041f\u0440\u0438\u0432\u0435\u0442"},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", L"\u65e5\u672c\u8a9e"},
        {"\xf0\x9d\x84\x9e.mid", L"\xd834\xdd1e.mid"},
        {"bad\xe9\xc3", L"bad\xdce9\xdcc3"},             // Latin-1, then a cut sequence
        {"\xed\xa0\x80\xc0\xaf", L"\xdced\xdca0\xdc80\xdcc0\xdcaf"},  // a surrogate and an overlong form
    };
    RyKitNames names{};
    for (const Case& c : kUtf8) {
        WCHAR text[64];
        char back[64];
        ASSERT_GT(RyKitNameToText(&names, c.bytes, strlen(c.bytes), text, 64), 0u) << c.bytes;
        EXPECT_STREQ(text, c.text) << c.bytes;
        EXPECT_EQ(RyKitNameToServer(&names, text, back, sizeof back), strlen(c.bytes));
        EXPECT_STREQ(back, c.bytes);
    }
    WCHAR small[4];
    EXPECT_EQ(RyKitNameToText(&names, "four", 4, small, 4), 0u);  // no room for the terminator
    char refused[16];  // each would reach the server as another name
    EXPECT_EQ(RyKitNameToServer(&names, L"half\xd834.txt", refused, sizeof refused), 0u);
    EXPECT_EQ(RyKitNameToServer(&names, L"\xdd1e\xd834", refused, sizeof refused), 0u);  // the wrong way round

    RyKitNamesSaw(&names, "caf\xc3\xa9", 5);
    EXPECT_EQ(names.encoding, RYKIT_NAMES_AS_SEEN);
    RyKitNamesSaw(&names, "caf\xe9", 4);  // this server's names are in the ANSI code page
    ASSERT_EQ(names.encoding, RYKIT_NAMES_ANSI);
    WCHAR text[16];
    char back[16];
    EXPECT_GT(RyKitNameToText(&names, "caf\xe9", 4, text, 16), 0u);
    EXPECT_STREQ(text, L"caf\u00e9");
    EXPECT_EQ(RyKitNameToServer(&names, L"caf\u00e9", back, sizeof back), 4u);
    EXPECT_STREQ(back, "caf\xe9");
    EXPECT_EQ(RyKitNameToServer(&names, L"\u65e5", back, sizeof back), 0u);  // not in the code page
    EXPECT_EQ(RyKitNameToServer(&names, L"\u0101.txt", back, sizeof back), 0u);  // "a.txt" would be its best fit
}

// The copies of a file WININET's URL cache holds, by the start of their names.
int CachedCopies(const std::wstring& stem) {
    wchar_t local[MAX_PATH];
    if (!GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH)) return -1;
    std::wstring content = std::wstring(local) + L"\\Microsoft\\Windows\\INetCache\\Content.IE5\\";
    int copies = 0;
    WIN32_FIND_DATAW dir, file;
    HANDLE dirs = FindFirstFileW((content + L"*").c_str(), &dir);
    for (BOOL more = dirs != INVALID_HANDLE_VALUE; more; more = FindNextFileW(dirs, &dir)) {
        if (!(dir.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || dir.cFileName[0] == L'.') continue;
        HANDLE files = FindFirstFileW((content + dir.cFileName + L"\\" + stem + L"*").c_str(), &file);
        for (BOOL found = files != INVALID_HANDLE_VALUE; found; found = FindNextFileW(files, &file)) ++copies;
        if (files != INVALID_HANDLE_VALUE) FindClose(files);
    }
    if (dirs != INVALID_HANDLE_VALUE) FindClose(dirs);
    return copies;
}

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * seed + i / 1021);
    return bytes;
}

class ReceiveFile : public ::testing::Test {
protected:
    void Connect(const char* fixture) {
        server_ = ServerFromEnvironment(fixture);
        RyINetClose(connection_, nullptr);
        connection_ = RyFtpConnect(session_, 0, nullptr, server_.host.c_str(), kUser, kPassword);
        ASSERT_NE(connection_, 0u) << fixture;
        WriteWholeFile(local_, "the old file");
    }
    // A link of the kit's to the fixture's server, on handles of its own.
    bool OpenLink(const char* fixture) {
        server_ = ServerFromEnvironment(fixture);
        linkSession_ = static_cast<LONG>(RyINetOpen(nullptr));
        char reply[RYKIT_REPLY_BYTES];
        linkConnection_ = static_cast<LONG>(RyKitConnect(static_cast<DWORD>(linkSession_), nullptr,
                                                         server_.host.c_str(), kUser, kPassword, 1, reply, sizeof reply));
        RyKitLinkInit(&link_, &linkSession_, &linkConnection_, nullptr, nullptr, nullptr);
        RyKitLinkLoggedIn(&link_, server_.host.c_str(), kUser, kPassword, 1);
        return linkConnection_ != 0;
    }
    void TearDown() override {
        RyKitLinkForget(&link_);
        RyKitCloseTaken(&linkConnection_, nullptr);
        RyKitCloseTaken(&linkSession_, nullptr);
        RyINetClose(connection_, nullptr);
        RyINetClose(session_, nullptr);
        FreeLibrary(wininet_);
    }
    std::string Kept() {  // the local file afterwards, with no .part beside it
        EXPECT_FALSE(FileExists(local_ + ".part"));
        bool ok = false;
        return ReadWholeFile(local_, &ok);
    }
    HMODULE wininet_ = LoadLibraryA("wininet.dll");  // the handles live as long as it does
    DWORD session_ = RyINetOpen(nullptr), connection_ = 0;
    volatile LONG linkSession_ = 0, linkConnection_ = 0;
    RyKitLink link_{};
    BoxRecorder boxes_;  // no box may show here
    FtpServer server_;
    std::string local_ = TempPath("rykit-received.bin");
    std::wstring wide_{local_.begin(), local_.end()};  // the temporary directory's path is ASCII
    RyKitReceive r_;
};

// The last progress call's bytes and total.
struct Last {
    ULONGLONG received = 0;
    LONGLONG expected = -2;
};
int Record(void* last, ULONGLONG received, LONGLONG expected) {
    *static_cast<Last*>(last) = {received, expected};
    return 0;
}

// The second time the host has set ASCII type behind the kit's back, where pyftpdlib
// answers no SIZE: the total is known all the same.
TEST_F(ReceiveFile, ACompleteFileReplacesTheOldOneWithProgressAfterEachBlock) {
    Connect("PYFTPD");
    int cached = CachedCopies(L"binary");
    bool ok = false;
    for (const char* before : {"NOOP", "TYPE A"}) {
        FtpCommandA(RyKitInternetHandle(connection_), FALSE, FTP_TRANSFER_TYPE_ASCII, before, 0, nullptr);
        Last last;
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "binary.bin", wide_.c_str(), Record, &last, &r_), RYKIT_RECEIVED);
        EXPECT_EQ(Kept(), ReadWholeFile(server_.path("binary.bin"), &ok));
        EXPECT_EQ(r_.expected, 1156);
        EXPECT_EQ(last.received, 1156u);
        EXPECT_EQ(last.expected, 1156) << before;
    }
    EXPECT_EQ(CachedCopies(L"binary"), cached) << "a copy left in the URL cache";
}

// Past the first small block, the kit reads in large ones, the one it keeps the second time.
TEST_F(ReceiveFile, ALargeFileArrivesWholeInLargeBlocks) {
    Connect("PYFTPD");
    std::string large(RYKIT_READ_BLOCK * 2 + RYKIT_FIRST_BLOCK + 7, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 13 + i / 4093);
    WriteWholeFile(server_.path("large.bin"), large);
    for (int round = 0; round < 2; ++round) {
        Last last;
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "large.bin", wide_.c_str(), Record, &last, &r_), RYKIT_RECEIVED);
        EXPECT_TRUE(Kept() == large) << "round " << round;
        EXPECT_EQ(last.received, large.size());
    }
    DeleteFileA(server_.path("large.bin").c_str());
}

TEST_F(ReceiveFile, AFailedOrCancelledTransferKeepsTheOldFile) {
    Connect("PYFTPD");
    auto cancel = [](void*, ULONGLONG, LONGLONG) { return 1; };
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "binary.bin", wide_.c_str(), cancel, 0, &r_), RYKIT_CANCELLED);
    EXPECT_EQ(Kept(), "the old file");

    // SIZE says 5 bytes, and the transfer ends after 2: they are kept to go on from, but
    // this server refuses REST, so the next receive starts again at byte 0.
    Connect("SCRIPTED");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "cut.bin", wide_.c_str(), nullptr, 0, &r_), RYKIT_INCOMPLETE);
        EXPECT_EQ(r_.received, 2u);
        EXPECT_EQ(r_.resumedFrom, 0u);
        EXPECT_TRUE(r_.partialKept);
        EXPECT_EQ(Kept(), "the old file");
    }
    RyKitDiscardPartial(wide_.c_str());
    EXPECT_TRUE(boxes_.take().empty());
}

// The hostile server: no SIZE answer, 300 bytes, then a 426; SIZE 100, then 5 MiB.
TEST_F(ReceiveFile, OnlyWhatTheServerConfirmsAndAnnouncedIsKept) {
    Connect("HOSTILE");
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "nosize_a", wide_.c_str(), nullptr, 0, &r_), RYKIT_NOT_CONFIRMED);
    EXPECT_EQ(r_.expected, -1);
    EXPECT_EQ(r_.received, 300u);
    EXPECT_STREQ(r_.reply, "426 connection closed; transfer aborted");
    EXPECT_EQ(Kept(), "the old file");
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "toolong", wide_.c_str(), nullptr, 0, &r_), RYKIT_TOO_LONG);
    EXPECT_EQ(Kept(), "the old file");
    EXPECT_EQ(RyKitReplyCode("226-one\r\n226 two"), 226);
    EXPECT_EQ(RyKitReplyCode("150 here\r\n2261"), 150);
    EXPECT_EQ(RyKitReplyCode(""), 0);
}

// A size the reply that opened the transfer announced holds as SIZE's answer does; a SIZE
// asked in a type the kit only believed (the host set ASCII behind its back, and this
// server then counts CRLF line ends) is asked again before it may refuse the file.
TEST_F(ReceiveFile, TheSizeAnnouncedOrAskedInBinaryTypeDecides) {
    Connect("HOSTILE");
    for (const char* before : {"NOOP", "TYPE A"}) {
        FtpCommandA(RyKitInternetHandle(connection_), FALSE, FTP_TRANSFER_TYPE_ASCII, before, 0, nullptr);
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "ascii.bin", wide_.c_str(), nullptr, 0, &r_), RYKIT_RECEIVED)
            << before;
        EXPECT_EQ(r_.expected, 5);
        EXPECT_EQ(Kept(), "ab\ncd");
        WriteWholeFile(local_, "the old file");
    }
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "announced.bin", wide_.c_str(), nullptr, 0, &r_), RYKIT_INCOMPLETE);
    EXPECT_EQ(r_.expected, 5);
    EXPECT_EQ(r_.received, 2u);
    EXPECT_EQ(Kept(), "the old file");
    EXPECT_EQ(RyKitSizeFromOpening("150 Opening BINARY mode data connection for a (3 bytes) (1156 bytes)."), 1156);
    EXPECT_EQ(RyKitSizeFromOpening("125 Opening data connection for b (77 bytes)\r\n"), 77);
    for (const char* none : {"150 File status okay. About to open data connection.", "226 done (5 bytes).",
                             "150 (5 bytes) for a", "150 12 bytes)", "150 (1234567890123456789 bytes)"})
        EXPECT_EQ(RyKitSizeFromOpening(none), -1) << none;
}

TEST_F(ReceiveFile, AUsersPartIsLeftAloneAndTheFileArrivesThroughTheKitsOwn) {
    Connect("HOSTILE");
    WriteWholeFile(local_ + ".part", "the user's own");
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "good.txt", wide_.c_str(), nullptr, 0, &r_), RYKIT_RECEIVED);
    EXPECT_EQ(std::wstring(r_.part), wide_ + RYKIT_PARTIAL_SUFFIX);
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(local_, &ok), "good\n");
    EXPECT_EQ(ReadWholeFile(local_ + ".part", &ok), "the user's own");
    EXPECT_FALSE(FileExists(local_ + ".rykit-partial"));
    DeleteFileA((local_ + ".part").c_str());
}

// ---- Going on after a break ---------------------------------------------------------------
// The breaking server: the first RETR of each file sends half and says 426, the first STOR
// keeps 512 KiB; REST works both ways. Its sent.log has the bytes each RETR sent.


// The breaking server's log of that name (sent.log, commands.log), a line each.
std::vector<std::string> ServerLog(const FtpServer& server, const char* name = "sent.log") {
    bool ok = false;
    std::string text = ReadWholeFile(WindowsPath(server.unixRoot + "/../" + name), &ok), line;
    std::vector<std::string> lines;
    for (char c : text)
        if (c == '\n') lines.push_back(line), line.clear();
        else line += c;
    return lines;
}

TEST_F(ReceiveFile, ABrokenTransferKeepsWhatCameAndTheNextAsksOnlyForTheRest) {
    Connect("KIT_BREAKING");
    std::string file = Pattern(400000, 3);
    WriteWholeFile(server_.path("resume.bin"), file);
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "resume.bin", wide_.c_str(), nullptr, 0, &r_), RYKIT_INCOMPLETE);
    RyKitPartial p;
    ASSERT_TRUE(r_.partialKept && RyKitReadPartial(wide_.c_str(), &p));
    EXPECT_STREQ(p.remote, "resume.bin");
    EXPECT_EQ(p.bytes, 200000u);
    EXPECT_EQ(p.expected, 400000);
    EXPECT_EQ(Kept(), "the old file");
    Last last;
    EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, "resume.bin", wide_.c_str(), Record, &last, &r_), RYKIT_RECEIVED);
    EXPECT_EQ(r_.resumedFrom, 200000u);
    EXPECT_EQ(last.received, 400000u);
    EXPECT_TRUE(Kept() == file);
    EXPECT_FALSE(RyKitReadPartial(wide_.c_str(), &p));
    EXPECT_EQ(ServerLog(server_).back(), "200000") << "the second transfer sends the rest only";
}

// Another size, another time (recorded for a file over 1 MiB) or a cancel: no going on.
TEST_F(ReceiveFile, APartialStartsAgainForAChangedFileAndGoesOnACancel) {
    Connect("KIT_BREAKING");
    auto cancel = [](void*, ULONGLONG, LONGLONG) { return 1; };
    for (const char* change : {"size", "time", "cancel"}) {
        std::string name = std::string("changed-") + change + ".bin", now = Pattern(1200000, 5);
        WriteWholeFile(server_.path(name), Pattern(1200000, 7));
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, name.c_str(), wide_.c_str(), nullptr, 0, &r_), RYKIT_INCOMPLETE);
        ASSERT_TRUE(r_.partialKept) << change;
        bool cancelled = std::string(change) == "cancel";
        if (std::string(change) == "size") now += "x";
        if (!cancelled) WriteWholeFile(server_.path(name), now);  // a cancel's file stays as it was
        if (std::string(change) == "time") {  // the same size, written again a day later
            HANDLE h = CreateFileA(server_.path(name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            FILETIME later;
            GetSystemTimeAsFileTime(&later);
            later.dwHighDateTime += 201;  // about a day
            SetFileTime(h, nullptr, nullptr, &later);
            CloseHandle(h);
        }
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, name.c_str(), wide_.c_str(), cancelled ? +cancel : nullptr, 0,
                                   &r_),
                  cancelled ? RYKIT_CANCELLED : RYKIT_RECEIVED) << change;
        EXPECT_EQ(r_.resumedFrom, cancelled ? 600000u : 0u) << change;
        EXPECT_TRUE(cancelled ? Kept() == "the old file" : Kept() == now) << change;
        RyKitPartial p;
        EXPECT_FALSE(RyKitReadPartial(wide_.c_str(), &p)) << change;
        WriteWholeFile(local_, "the old file");
    }
}

// The link tries again by itself: a get goes on from what came, a put from what the server
// kept; in ASCII type nothing is kept to go on from.
TEST_F(ReceiveFile, TheLinkTriesABrokenTransferAgainFromTheByteItHad) {
    ASSERT_TRUE(OpenLink("KIT_BREAKING"));
    RyKitLink& link = link_;
    std::vector<std::string> told;
    link.retrying = [](void* told, unsigned attempt, unsigned retries, DWORD pause, const char* why) {
        static_cast<std::vector<std::string>*>(told)->push_back(std::string(why) + " " + std::to_string(attempt) + "/" +
                                                                 std::to_string(retries) + " " + std::to_string(pause));
    };
    link.context = &told;
    std::string file = Pattern(300000, 11), sent = Pattern(1500000, 13);
    WriteWholeFile(server_.path("linked.bin"), file);
    EXPECT_EQ(RyKitLinkReceive(&link, "linked.bin", wide_.c_str(), nullptr, nullptr, &r_), RYKIT_RECEIVED);
    EXPECT_TRUE(Kept() == file);
    EXPECT_EQ(told, std::vector<std::string>{"broken off after 146 KiB of 292 KiB 1/5 1"});
    std::vector<std::string> log = ServerLog(server_);
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), (std::vector<std::string>{"150000", "150000"}));

    std::string up = TempPath("rykit-up.bin");
    WriteWholeFile(up, sent);
    RyKitSend s;
    EXPECT_EQ(RyKitLinkSend(&link, std::wstring(up.begin(), up.end()).c_str(), "up.bin", nullptr, nullptr, &s), RYKIT_SENT);
    EXPECT_EQ(s.resumedFrom, 512u * 1024) << "what the server kept";
    bool ok = false;
    EXPECT_TRUE(ReadWholeFile(server_.path("up.bin"), &ok) == sent);

    link.type = FTP_TRANSFER_TYPE_ASCII;
    link.retries = 0;
    WriteWholeFile(server_.path("ascii.bin"), file);
    EXPECT_EQ(RyKitLinkReceive(&link, "ascii.bin", wide_.c_str(), nullptr, nullptr, &r_), RYKIT_INCOMPLETE);
    RyKitPartial p;
    EXPECT_FALSE(RyKitReadPartial(wide_.c_str(), &p));
}

// Many files over three connections of the breaking server, whose first RETR of each file
// breaks: with a retry each goes on from its byte, told on the calling thread like every
// callback, and the one not there fails alone; with none left a break keeps its partial.
// A listing's sizes leave no SIZE to ask, and one it had wrong is asked after.
TEST_F(ReceiveFile, APoolEndsEachFileOnItsOwnAndAsksNoSizeAListingGave) {
    ASSERT_TRUE(OpenLink("KIT_BREAKING"));
    RyKitLink& link = link_;
    struct Seen {
        DWORD thread = GetCurrentThreadId();
        std::vector<std::string> ended, told;
        RyKitBatch last{};
        bool elsewhere = false;
        void here() { elsewhere = elsewhere || GetCurrentThreadId() != thread; }
    } seen;
    link.retries = 1;
    link.retrying = [](void* c, unsigned, unsigned, DWORD, const char* why) {
        static_cast<Seen*>(c)->here();
        static_cast<Seen*>(c)->told.push_back(why);
    };
    link.context = &seen;
    RyKitPool pool = {&link, 3,
                      [](void* c, const RyKitBatch* b) {
                          static_cast<Seen*>(c)->here();
                          static_cast<Seen*>(c)->last = *b;
                          return 0;
                      },
                      [](void* c, RyKitTransfer* t) {
                          static_cast<Seen*>(c)->here();
                          static_cast<Seen*>(c)->ended.push_back(t->remote);
                      },
                      nullptr, &seen};
    std::vector<std::string> names = {"pool-missing.bin", "pool-big.bin"}, bytes = {"", Pattern(300000, 7)};
    for (int i = 0; i < 6; ++i) names.push_back("pool-" + std::to_string(i) + ".bin"), bytes.push_back(Pattern(1000 + i, i + 3));
    std::vector<RyKitTransfer> t(names.size());
    auto ask = [&](size_t i, const std::string& name, LONGLONG size) {
        t[i].task = RYKIT_TASK_GET;
        lstrcpyA(t[i].remote, name.c_str());
        std::string local = TempPath(name.c_str());
        MultiByteToWideChar(CP_ACP, 0, local.c_str(), -1, t[i].local, MAX_PATH);
        RyKitDiscardPartial(t[i].local);  // an earlier run's
        t[i].size = size;
    };
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) WriteWholeFile(server_.path(names[i]), bytes[i]);
        ask(i, names[i], static_cast<LONGLONG>(bytes[i].size()));
    }
    size_t commandsBefore = ServerLog(server_, "commands.log").size();
    EXPECT_EQ(RyKitPoolRun(&pool, t.data(), static_cast<unsigned>(t.size())), 1u);
    EXPECT_EQ(t[0].outcome, RYKIT_NOT_OPENED);
    EXPECT_EQ(RyKitReplyCode(t[0].receive.reply), 550);
    bool ok = false;
    for (size_t i = 1; i < t.size(); ++i) {
        EXPECT_EQ(t[i].outcome, RYKIT_RECEIVED) << names[i];
        EXPECT_EQ(t[i].receive.resumedFrom, bytes[i].size() / 2) << names[i];
        EXPECT_TRUE(ReadWholeFile(TempPath(names[i].c_str()), &ok) == bytes[i]) << names[i];
    }
    EXPECT_EQ(seen.told.size(), 7u);
    EXPECT_NE(std::find(seen.told.begin(), seen.told.end(), "broken off after 146 KiB of 292 KiB (pool-big.bin)"),
              seen.told.end()) << "each retry names its file";
    EXPECT_EQ(seen.ended.size(), t.size());
    EXPECT_EQ(seen.last.ended, 8u);
    EXPECT_EQ(seen.last.failed, 1u);
    EXPECT_EQ(seen.last.total, 300000u + 6 * 1000 + 15);
    std::vector<std::string> commands = ServerLog(server_, "commands.log");
    int sizes = 0, logins = 0;
    for (size_t i = commandsBefore; i < commands.size(); ++i) {
        sizes += commands[i].compare(0, 5, "SIZE ") == 0;
        logins += commands[i].compare(0, 5, "USER ") == 0;
    }
    EXPECT_EQ(sizes, 7) << "none for the listing's sizes; one for each file that goes on from its partial";
    EXPECT_GE(logins, 7) << "each break opens its connection again";
    EXPECT_LE(logins, 7 + 2) << "the host's connection and at most two more";

    link.retries = 0;
    WriteWholeFile(server_.path("pool-new.bin"), bytes[1]);
    ask(0, "pool-new.bin", 300000);  // its first RETR: broken, kept
    ask(1, "pool-0.bin", 0);         // whole, though the listing said 0
    EXPECT_EQ(RyKitPoolRun(&pool, t.data(), 2), 1u);
    EXPECT_EQ(t[0].outcome, RYKIT_INCOMPLETE);
    EXPECT_TRUE(t[0].receive.partialKept);
    EXPECT_EQ(t[1].outcome, RYKIT_RECEIVED);
    EXPECT_EQ(t[1].receive.expected, 1000);
    EXPECT_FALSE(seen.elsewhere) << "every callback on the calling thread";
    for (const std::string& name : names) DeleteFileA(TempPath(name.c_str()).c_str());
    RyKitDiscardPartial(t[0].local);
}

// Two files of a batch into one local file (Windows ignores the case): the later waits for
// the earlier, though the earlier comes at 16 KB/s, and its bytes are what stays.
TEST_F(ReceiveFile, APoolWritesOneFileOnlyOnceAtATime) {
    ASSERT_TRUE(OpenLink("HOSTILE"));
    RyKitTransfer t[2] = {};
    const char* remote[] = {"slow.bin", "good.txt"};
    for (int i = 0; i < 2; ++i) {
        t[i].task = RYKIT_TASK_GET;
        lstrcpyA(t[i].remote, remote[i]);
        lstrcpyW(t[i].local, wide_.c_str());
        t[i].size = -1;
    }
    CharUpperW(t[0].local);
    RyKitPool pool = {&link_, 2, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(RyKitPoolRun(&pool, t, 2), 0u);
    EXPECT_EQ(t[0].outcome, RYKIT_RECEIVED);
    EXPECT_EQ(t[1].outcome, RYKIT_RECEIVED);
    EXPECT_TRUE(Kept() == "good\n") << "the later file stays";
}

// Each read asks for what the rate brings in a quarter of a second: a few KiB at 16 KB/s,
// the large block on loopback; the host hears of it a few times a second either way.
TEST_F(ReceiveFile, EachReadIsSizedByTheRateAndProgressComesAFewTimesASecond) {
    auto heard = [](void* times, ULONGLONG, LONGLONG) {
        static_cast<std::vector<ULONGLONG>*>(times)->push_back(GetTickCount64());
        return 0;
    };
    struct Case {
        const char* fixture;
        const char* remote;
        DWORD mostRead, leastRead;
    } cases[] = {{"HOSTILE", "slow.bin", 16 * 1024, 0}, {"PYFTPD", "paced.bin", RYKIT_READ_BLOCK, RYKIT_READ_BLOCK}};
    for (const Case& c : cases) {
        Connect(c.fixture);
        if (std::string(c.fixture) == "PYFTPD") WriteWholeFile(server_.path(c.remote), Pattern(8 << 20, 3));
        std::vector<ULONGLONG> times;
        ULONGLONG began = GetTickCount64();
        EXPECT_EQ(RyKitReceiveFile(connection_, nullptr, c.remote, wide_.c_str(), heard, &times, &r_), RYKIT_RECEIVED);
        double seconds = (GetTickCount64() - began) / 1000.0;
        EXPECT_LE(r_.largestRead, c.mostRead) << c.remote;
        EXPECT_GE(r_.largestRead, c.leastRead) << c.remote;
        EXPECT_LE(times.size(), 2 + 5 * seconds) << c.remote << ": no more than a few times a second";
        for (size_t i = 1; i < times.size(); ++i) EXPECT_LE(times[i] - times[i - 1], 700u) << c.remote << " report " << i;
    }
    DeleteFileA(server_.path("paced.bin").c_str());
}

// Into a file the host holds, after what it wrote there: the same checks, and a file
// not there yet shows no box but gives the server's refusal.
TEST_F(ReceiveFile, IntoAFileTheHostHoldsWithTheSameChecksAndNoBox) {
    Connect("HOSTILE");
    HANDLE out = CreateFileA(local_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFilePointer(out, 0, nullptr, FILE_END);
    EXPECT_EQ(RyKitReceiveInto(connection_, "good.txt", out, nullptr, nullptr, &r_), RYKIT_RECEIVED);
    EXPECT_EQ(RyKitReceiveInto(connection_, "not-there", out, nullptr, nullptr, &r_), RYKIT_NOT_OPENED);
    EXPECT_STREQ(r_.reply, "550 no such file");
    EXPECT_EQ(RyKitReceiveInto(connection_, "nosize_a", out, nullptr, nullptr, &r_), RYKIT_NOT_CONFIRMED);
    EXPECT_EQ(r_.received, 300u);
    EXPECT_EQ(RyKitReceiveInto(connection_, "toolong", out, nullptr, nullptr, &r_), RYKIT_TOO_LONG);
    CloseHandle(out);
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(local_, &ok).substr(0, 17), "the old filegood\n");
    EXPECT_TRUE(boxes_.take().empty());
}

// Two connections of one program, each with its watchdog, as a server with a client on
// each: the call the watchdog ends is the stalled one, and the other connection works on.
TEST(Watchdog, EndsAStalledCallAndLeavesAnotherConnectionBe) {
    FtpServer hostile = ServerFromEnvironment("HOSTILE");
    HMODULE wininet = LoadLibraryA("wininet.dll");
    struct Host {
        volatile LONG session = static_cast<LONG>(RyINetOpen(nullptr)), connection = 0;
        RyKitWatchdog w;
    } stalled, other;
    for (Host* h : {&stalled, &other}) {
        ASSERT_TRUE(RyKitWatchdogStart(&h->w, &h->connection, &h->session));
        RyKitWatchdogConnecting(&h->w);
        h->connection = static_cast<LONG>(
            RyFtpConnect(static_cast<DWORD>(h->session), 0, nullptr, hostile.host.c_str(), kUser, kPassword));
        ASSERT_NE(h->connection, 0);
        RyKitWatchdogConnected(&h->w);
    }
    stalled.w.timeoutSeconds = 2;
    RyKitReceive r;
    std::wstring local = L"rykit-endless.bin";
    DWORD began = GetTickCount();
    RyKitWatchdogBegin(&stalled.w);  // 100 of 1000 bytes, then silence on an open data connection
    EXPECT_NE(RyKitReceiveFile(static_cast<DWORD>(stalled.connection), nullptr, "endless", local.c_str(), nullptr,
                               nullptr, &r),
              RYKIT_RECEIVED);
    EXPECT_EQ(RyKitWatchdogFinish(&stalled.w), RYKIT_STALLED);
    EXPECT_LT(GetTickCount() - began, 10000u);
    EXPECT_EQ(stalled.connection, 0) << "the watchdog closes the stalled call's connection";
    char directory[RYINET_CURDIR_BYTES] = "";
    RyFtpCurDir(static_cast<DWORD>(other.connection), nullptr, directory);
    EXPECT_EQ(directory[0], '/') << "the other connection was ended too";
    RyKitDiscardPartial(local.c_str());
    for (Host* h : {&stalled, &other}) {
        RyKitWatchdogStop(&h->w);
        RyKitCloseTaken(&h->connection, nullptr);
        RyKitCloseTaken(&h->session, nullptr);
    }
    FreeLibrary(wininet);
}

// Two connections that connect at the same moment, each on its own thread, as a pool's
// do: the watchdog that ends one's stall leaves the other's transfer on the other thread be.
TEST(Watchdog, ConnectionsThatConnectAtOnceEachLoseOnlyTheirOwnStalledCall) {
    FtpServer hostile = ServerFromEnvironment("HOSTILE");
    HMODULE wininet = LoadLibraryA("wininet.dll");
    struct Host {
        const char* remote;
        const wchar_t* local;
        volatile LONG session = 0, connection = 0;
        RyKitWatchdog w;
        RyKitOutcome outcome = RYKIT_NOT_OPENED;
        RyKitEnding ending = RYKIT_RUNNING;
    } hosts[] = {{"endless", L"rykit-endless.bin"}, {"slow.bin", L"rykit-slow.bin"}};  // 48000 bytes, 3 s
    volatile LONG connecting = 0, connected = 0;
    auto work = [&](Host* h) {
        h->session = static_cast<LONG>(RyINetOpen(nullptr));
        RyKitWatchdogStart(&h->w, &h->connection, &h->session);
        h->w.timeoutSeconds = 2;
        RyKitWatchdogConnecting(&h->w);
        for (InterlockedIncrement(&connecting); connecting < 2;) Sleep(1);
        h->connection = static_cast<LONG>(
            RyFtpConnect(static_cast<DWORD>(h->session), 0, nullptr, hostile.host.c_str(), kUser, kPassword));
        RyKitWatchdogConnected(&h->w);
        for (InterlockedIncrement(&connected); connected < 2;) Sleep(1);
        RyKitReceive r;
        RyKitWatchdogBegin(&h->w);
        if (h->connection)
            h->outcome = RyKitReceiveFile(static_cast<DWORD>(h->connection), nullptr, h->remote, h->local, nullptr,
                                          nullptr, &r);
        h->ending = RyKitWatchdogFinish(&h->w);
    };
    std::thread stalling(work, &hosts[0]), slow(work, &hosts[1]);
    stalling.join();
    slow.join();
    EXPECT_EQ(hosts[0].ending, RYKIT_STALLED);
    EXPECT_NE(hosts[0].outcome, RYKIT_RECEIVED);
    EXPECT_EQ(hosts[1].outcome, RYKIT_RECEIVED) << "the other thread's transfer was ended too";
    EXPECT_EQ(hosts[1].ending, RYKIT_RUNNING);
    WIN32_FILE_ATTRIBUTE_DATA f{};
    EXPECT_TRUE(GetFileAttributesExW(hosts[1].local, GetFileExInfoStandard, &f) && f.nFileSizeLow == 48000);
    for (Host& h : hosts) {
        RyKitWatchdogStop(&h.w);
        RyKitCloseTaken(&h.connection, nullptr);
        RyKitCloseTaken(&h.session, nullptr);
        RyKitDiscardPartial(h.local);
        DeleteFileW(h.local);
    }
    FreeLibrary(wininet);
}

// A reply that goes on, 20 bytes every 0.2 s, is progress however little CPU reading it
// costs: only the whole allowance ends it.
TEST(Watchdog, AReplyThatTricklesIsProgressUntilTheAllowanceEnds) {
    FtpServer hostile = ServerFromEnvironment("HOSTILE");
    HMODULE wininet = LoadLibraryA("wininet.dll");
    volatile LONG session = static_cast<LONG>(RyINetOpen(nullptr)), connection = 0;
    RyKitWatchdog w;
    ASSERT_TRUE(RyKitWatchdogStart(&w, &connection, &session));
    RyKitWatchdogConnecting(&w);
    connection = static_cast<LONG>(RyFtpConnect(static_cast<DWORD>(session), 0, nullptr, hostile.host.c_str(), kUser, kPassword));
    ASSERT_NE(connection, 0);
    RyKitWatchdogConnected(&w);
    w.timeoutSeconds = 2;
    w.maxTimeSeconds = 5;
    DWORD began = GetTickCount();
    RyKitWatchdogBegin(&w);
    EXPECT_TRUE(w.counting) << "WININET's receives are not counted";
    RyFSetDir(static_cast<DWORD>(connection), 0, "endless");
    EXPECT_EQ(RyKitWatchdogFinish(&w), RYKIT_OVER_TIME);
    EXPECT_GE(GetTickCount() - began, 4500u);
    RyKitWatchdogStop(&w);
    RyKitCloseTaken(&connection, nullptr);
    RyKitCloseTaken(&session, nullptr);
    FreeLibrary(wininet);
}

}  // namespace
