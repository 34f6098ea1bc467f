// ryftp, the console host: its command table and its handling of bad lines, in this
// process; script sessions of ryftp.exe against real servers checked by transcript and by
// the served tree, its command line, its result buffer's stop, a hostile server (what
// reaches the terminal, which files are kept, time-outs and Ctrl-C), dial-up through the
// RAS stand-in.
#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <stdlib.h>
#include <string>
#include <vector>
#include "command_table.h"
#include "ftp_env.h"
#include "phonebook_service.h"
#include "session.h"

namespace {

// A fresh local directory for one session's files.
std::string FreshDirectory(const char* name) {
    std::string dir = TempPath(std::string("ryftp-") + name);
    CreateDirectoryA(dir.c_str(), nullptr);
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &f))
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + "\\" + f.cFileName).c_str());
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    return dir;
}

struct Transcript {
    DWORD exitCode = 0;
    double seconds = 0;
    std::string out;  // stdout and stderr, without carriage returns
    // Whether the lines appear in this order, each somewhere after the one before.
    ::testing::AssertionResult says(const std::vector<std::string>& lines) const {
        size_t at = 0;
        for (const std::string& l : lines) {
            size_t found = out.find(l, at);
            if (found == std::string::npos)
                return ::testing::AssertionFailure() << "missing, in order: \"" << l << "\"\n--- transcript:\n" << out;
            at = found + l.size();
        }
        return ::testing::AssertionSuccess();
    }
};

const SECURITY_ATTRIBUTES kInherited = {sizeof kInherited, nullptr, TRUE};

// Starts ryftp with LINE's arguments in WORK, reading IN; returns its process, or null,
// and the pipe its output comes through. FLAGS 0 keeps it on this process's console.
HANDLE StartRyftp(const std::string& args, const std::string& work, HANDLE in, DWORD flags, HANDLE* output) {
    std::string line = "\"" + WindowsPath(getenv("RYTEST_RYFTP")) + "\" " + args;
    HANDLE writeOut;
    SECURITY_ATTRIBUTES inherit = kInherited;
    CreatePipe(output, &writeOut, &inherit, 0);
    SetHandleInformation(*output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = si.hStdError = writeOut;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(line.begin(), line.end());
    cmd.push_back('\0');
    BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, flags, nullptr, work.c_str(), &si, &pi);
    CloseHandle(writeOut);
    EXPECT_TRUE(started) << line;
    if (started) CloseHandle(pi.hThread);
    return started ? pi.hProcess : nullptr;
}

// Moves what came through the pipe into out, without carriage returns; false at its end.
bool ReadSome(HANDLE pipe, std::string* out) {
    char buf[4096];
    DWORD got;
    if (!ReadFile(pipe, buf, sizeof buf, &got, nullptr) || !got) return false;
    for (DWORD i = 0; i < got; ++i)
        if (buf[i] != '\r') *out += buf[i];
    return true;
}

// Runs ryftp with ARGS in DIR, in this process's environment; the script goes in as a
// file (-s:) or on standard input.
Transcript Ryftp(const std::string& args, const std::string& script = "", const std::string& dir = "",
                 bool scriptOnStdin = false) {
    std::string work = dir.empty() ? FreshDirectory("plain") : dir;
    std::string scriptPath = work + "\\session.ryftp";
    WriteWholeFile(scriptPath, script);
    SECURITY_ATTRIBUTES inherit = kInherited;
    HANDLE in = CreateFileA(scriptOnStdin ? scriptPath.c_str() : "NUL", GENERIC_READ, FILE_SHARE_READ, &inherit,
                            OPEN_EXISTING, 0, nullptr);
    ULONGLONG start = GetTickCount64();
    HANDLE output, process = StartRyftp(args + (!scriptOnStdin && !script.empty() ? " -s:" + scriptPath : ""),
                                        work, in, CREATE_NO_WINDOW, &output);
    CloseHandle(in);
    Transcript s;
    while (process && ReadSome(output, &s.out)) {
    }
    CloseHandle(output);
    if (process) {
        WaitForSingleObject(process, 60000);
        GetExitCodeProcess(process, &s.exitCode);
        CloseHandle(process);
    }
    s.seconds = (GetTickCount64() - start) / 1000.0;
    return s;
}

// ---- Sessions against real servers ----------------------------------------------------------

struct Server {
    const char* fixture;
    const char* login;  // user and password on the command line
    std::string top;    // where the sample tree is: vsftpd's is below its anonymous root
};

class RealServer : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override {
        server_ = ServerFromEnvironment(GetParam().fixture);
        ASSERT_TRUE(server_.present()) << "RYTEST_" << GetParam().fixture << "_HOST not set";
    }
    std::string open() const { return server_.host + " " + GetParam().login; }
    FtpServer server_;
};

TEST_P(RealServer, EveryFtpCommandDoesItsWorkOnTheServedTree) {
    WriteWholeFile(server_.path("semi;colon.txt"), "a name the listing must not split");
    std::string local = FreshDirectory(GetParam().fixture);
    WriteWholeFile(local + "\\keep.bin", "mine");
    CreateDirectoryA((local + "\\adir").c_str(), nullptr);  // no file can take its name
    const std::string top = GetParam().top, sub = top == "/" ? "/pub" : top + "/pub";
    Transcript s = Ryftp("--echo-boxes " + open(),
                         "cd " + top + "\npwd\nls\ncd pub\nls\ncd " + top + "\ncd nowhere\n"
                         "get binary.bin\nget missing.bin keep.bin\nget binary.bin adir\nput no-such-file\n"
                         "mkdir made\nput binary.bin made/up.bin\nrename made/up.bin made/renamed.bin\n"
                         "ls made/*\ndelete made/renamed.bin\nrmdir made\nclose\nbye\n",
                         local);
    EXPECT_EQ(s.exitCode, 1u);
    EXPECT_TRUE(s.says({"ryftp> open " + server_.host, "****", "connected to " + server_.host,
                        "ryftp> pwd\n" + top + "\n", "ryftp> ls\n", "<DIR>  emptydir\n", "   512  readme.txt\n",
                        "  semi;colon.txt\n", " entries\n", "ryftp> cd pub\n" + sub + "\n", "<DIR>  deep\n",
                        "7  notes.txt\n", "2 entries\n", "ryftp> cd " + top + "\n" + top + "\n",
                        "ryftp> cd nowhere\ndirectory not changed\n",
                        "received binary.bin: 1156 bytes\n",
                        "[box] FTP Open File Error: Unable to open file.\nnot received: missing.bin\n",
                        "not received: binary.bin: cannot write adir",
                        "no such local file: no-such-file\n", "created made\n",
                        "sent binary.bin as made/up.bin: 1156 bytes\n",
                        "renamed made/up.bin to made/renamed.bin\n", "1156  renamed.bin\n1 entry\n",
                        "deleted made/renamed.bin\n", "removed made\n", "closed " + server_.host}));
    EXPECT_EQ(s.out.find("rypass"), std::string::npos) << "a password in the transcript";
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(local + "\\binary.bin", &ok), ReadWholeFile(server_.path("binary.bin"), &ok));
    EXPECT_EQ(ReadWholeFile(local + "\\keep.bin", &ok), "mine") << "a failed get keeps the file it would replace";
    EXPECT_FALSE(FileExists(local + "\\keep.bin.part"));
    EXPECT_FALSE(FileExists(local + "\\adir.part")) << "a transfer that cannot be kept leaves nothing";
    EXPECT_FALSE(FileExists(local + "\\missing.bin"));
    EXPECT_FALSE(DirectoryExists(server_.path("made")));
}

// An empty directory lists nothing, which is no failure: a script that looks into an empty
// inbox exits 0.
TEST_P(RealServer, ASessionWithoutFailuresOnStandardInputExitsZero) {
    Transcript s = Ryftp(open(), "cd " + GetParam().top + "\nls pub/*\nls emptydir/*\n", "", /*scriptOnStdin=*/true);
    EXPECT_EQ(s.exitCode, 0u) << s.out;
    EXPECT_TRUE(s.says({"ryftp> cd " + GetParam().top + "\n", "ryftp> ls pub/*\n", "notes.txt\n2 entries\n",
                        "ryftp> ls emptydir/*\nno entries\n"}));
}

// ---- Scripts written for the Windows ftp command ------------------------------------------

// A day's batch jobs as people write them for `ftp -s:`, run in turn, unchanged but for the
// server's own {host}, {user}, {password} and {top}: an upload whose log-in the script's
// first lines answer, a -n fetch whose questions the script answers, a text fetch and a
// clean-up, and a fetch and appends inside a dial-up.
struct FtpJob {
    const char* options;
    const char* script;
    std::vector<const char*> says;
};
const FtpJob kFtpJobs[] = {
    {"{host}", "{user}\n{password}\ncd {top}\nmkdir job\ncd job\nlcd out\nbinary\nprompt\n"
               "mput *.txt report.dat lines.log\nquote SYST\nbye\n",
     {"User ({host}:(none)): {user}\nPassword: ****\nconnected to {host} as {user}\n", "prompting off\n",
      "sent a.txt as a.txt: 6 bytes\n", "sent report.dat as report.dat: 1156 bytes\n", "ryftp> quote SYST\n215 "}},
    {"-n", "open {host}\nuser {user} {password}\ncd {top}/job\nlcd in\nmget *.txt\ny\nn\nbye\n",
     {"{host}: not connected yet", "ryftp> user {user} ****\nconnected",
      "mget a.txt? y\nmget b.txt? n\nreceived a.txt: 6 bytes\nryftp> bye\n"}},  // asked all first
    {"-i", "open {host}\n{user}\n{password}\ncd {top}/job\nlcd in\nascii\nget lines.log\nmdelete *.txt\nbye\n",
     {"lines.log: LF line ends turned into CRLF, now 17 bytes\n", "deleted a.txt\n"}},  // b.txt in any order
    {"", "dial Office\nopen {host}\n{user}\n{password}\ncd {top}/job\nlcd in\nget report.dat\n"
         "append report.dat lines.log\nappend a.txt new.txt\nclose\nhangup\nbye\n",
     {"dialed Office\n", "received report.dat: 1156 bytes\n", "appended report.dat to lines.log: 1156 bytes\n",
      "appended a.txt to new.txt: 6 bytes\n", "hung up Office\n"}},
};

TEST_P(RealServer, ScriptsForTheWindowsFtpCommandRunUnchanged) {
    const std::string login = GetParam().login, fixture = GetParam().fixture;
    const std::pair<std::string, std::string> values[] = {
        {"{host}", server_.host}, {"{user}", login.substr(0, login.find(' '))},
        {"{password}", login.substr(login.find(' ') + 1)}, {"{top}", GetParam().top}};
    auto filled = [&](std::string text) {
        for (const auto& v : values)
            for (size_t at; (at = text.find(v.first)) != std::string::npos;) text.replace(at, v.first.size(), v.second);
        return text;
    };
    std::string base = FreshDirectory(fixture.c_str()), in = FreshDirectory((fixture + "\\in").c_str()),
                out = FreshDirectory((fixture + "\\out").c_str());
    const std::string a("a\r\n\0b\n", 6), lines = "one\ntwo\r\nthree\n";
    bool ok = false;
    WriteWholeFile(out + "\\a.txt", a);
    WriteWholeFile(out + "\\b.txt", "b");
    WriteWholeFile(out + "\\lines.log", lines);
    WriteWholeFile(out + "\\report.dat", ReadWholeFile(server_.path("binary.bin"), &ok));
    rasstandin::WriteUserPhonebook(FreshDirectory("appdata-jobs"),
                                   "[Office]\r\nStandInUser=alice\r\nStandInPassword=pw\r\nStandInSavePassword=1\r\n");
    for (const FtpJob& job : kFtpJobs) {
        Transcript s = Ryftp("--echo-boxes " + filled(job.options), filled(job.script), base);
        std::vector<std::string> says;
        for (const char* line : job.says) says.push_back(filled(line));
        EXPECT_EQ(s.exitCode, 0u) << s.out;
        EXPECT_TRUE(s.says(says));
        EXPECT_EQ(s.out.find(login.substr(login.find(' ') + 1)), std::string::npos) << "a password in the transcript";
    }
    EXPECT_EQ(ReadWholeFile(in + "\\a.txt", &ok), a) << "sent and received byte for byte";
    EXPECT_FALSE(FileExists(in + "\\b.txt")) << "the script answered n";
    EXPECT_EQ(ReadWholeFile(in + "\\lines.log", &ok), "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(ReadWholeFile(in + "\\report.dat", &ok), ReadWholeFile(out + "\\report.dat", &ok));
    EXPECT_EQ(ReadWholeFile(server_.path("job/lines.log"), &ok), lines + ReadWholeFile(out + "\\report.dat", &ok))
        << "sent by mput in binary, then appended to";
    EXPECT_EQ(ReadWholeFile(server_.path("job/new.txt"), &ok), a) << "append makes a file that was not there";
    EXPECT_FALSE(FileExists(server_.path("job/a.txt")) || FileExists(server_.path("job/b.txt")));
}

// ---- Names in every language ---------------------------------------------------------------

// Names in several scripts on the server and on this side, a script written in UTF-8 (with
// a BOM) and one an old editor saved in the ANSI code page: every name is shown as it
// reads, with nothing escaped, and every command keeps it.
TEST_P(RealServer, NamesInEveryLanguageAreShownFetchedAndSentUnderTheirOwnNames) {
    const std::vector<std::string> kNames = {"café.txt", "Straße.txt", "Привет.txt", "日本語.txt"};
    const std::string top = GetParam().top, dir = top == "/" ? "/Ölfeld" : top + "/Ölfeld";
    CreateDirectoryW(WidePath(server_.path("Ölfeld")).c_str(), nullptr);
    for (const std::string& name : kNames) WriteWholeFile(server_.path("Ölfeld/" + name), name);
    std::string work = FreshDirectory(GetParam().fixture), here = work + "\\Büro";
    CreateDirectoryW(WidePath(here).c_str(), nullptr);
    for (const std::string& name : kNames) DeleteFileW(WidePath(here + "\\" + name).c_str());
    WriteWholeFile(here + "\\Ünï.txt", "from here");
    Transcript s = Ryftp(open(), "\xef\xbb\xbf" "cd " + dir + "\npwd\nls\nlcd Büro\nget café.txt\nprompt\n"
                                 "mget *.txt\ncd " + top + "\nput Ünï.txt\nls Ünï.txt\n", work);
    EXPECT_EQ(s.exitCode, 0u) << s.out;
    EXPECT_TRUE(s.says({"ryftp> cd " + dir + "\n" + dir + "\n", "ryftp> pwd\n" + dir + "\n", "  Straße.txt\n",
                        "  café.txt\n", "  Привет.txt\n", "  日本語.txt\n", "Büro\n",
                        "received café.txt: 9 bytes\n", "received 日本語.txt: 13 bytes\n",
                        "sent Ünï.txt as Ünï.txt: 9 bytes\n", "  Ünï.txt\n1 entry\n"}));
    EXPECT_EQ(s.out.find("\\x"), std::string::npos) << "a name shown escaped";
    bool ok = false;
    for (const std::string& name : kNames) {
        EXPECT_EQ(ReadWholeFile(here + "\\" + name, &ok), name) << "saved under its own name: " << name;
    }
    EXPECT_EQ(ReadWholeFile(server_.path("Ünï.txt"), &ok), "from here");

    const std::string ansiDir = (top == "/" ? "" : top) + "/\xd6lfeld";  // Ö in code page 1252
    Transcript ansi = Ryftp(open(), "cd " + ansiDir + "\nget caf\xe9.txt Stra\xdf" "e-ansi.txt\n", work);
    EXPECT_TRUE(ansi.says({"received Straße-ansi.txt: 9 bytes\n"})) << "a script in the ANSI code page";
    EXPECT_TRUE(FileExists(work + "\\Straße-ansi.txt"));
}

INSTANTIATE_TEST_SUITE_P(Ryftp, RealServer,
                         ::testing::Values(Server{"RYFTP_PYFTPD", "ryuser rypass", "/"},
                                           Server{"RYFTP_VSFTPD", "anonymous ry@example.org", "/root"}),
                         [](const ::testing::TestParamInfo<Server>& p) {
                             return std::string(p.param.fixture).substr(6);
                         });

// Each box costs Wine about 2 s to take down where no window manager runs: the refusals
// are checked on one server.
TEST(RyftpRefusals, AnOperationTheServerRefusesShowsItsBoxAndFails) {
    FtpServer server = ServerFromEnvironment("RYFTP_PYFTPD");
    ASSERT_TRUE(server.present());
    Transcript s = Ryftp("--echo-boxes " + server.host + " ryuser rypass",
                         "rmdir full\ndelete nothing-here\nrename nothing-here x\nstatus\nls no-such-dir/*\nclose\n"
                         "open " + server.host + " ryuser wrong\n");
    EXPECT_EQ(s.exitCode, 1u);
    EXPECT_TRUE(s.says({"[box] Directory Deletion: Unable to delete directory.\nnot removed: full\n",
                        "[box] File Delete: Unable to delete file.\nnot deleted: nothing-here\n",
                        "[box] File Rename: Unable to rename file.\nnot renamed: nothing-here to x\n",
                        "ftp: connected to " + server.host + " as ryuser, in /\n",
                        "data connections: passive (this machine opens them)\n",
                        "ryftp> ls no-such-dir/*\nno entries\n",  // 550: nothing there, nothing failed
                        "not connected to " + server.host + " (530 "}));  // the server's own word
    EXPECT_TRUE(FileExists(server.path("full/keep.txt")));
}

// put shows its progress as get does, and the server keeps what was sent: the bytes in
// binary type, each line with the server's own end in ASCII type.
TEST(RyftpPut, ShowsItsProgressAndSendsTheFileAsTheTypeSays) {
    FtpServer server = ServerFromEnvironment("RYFTP_PYFTPD");
    ASSERT_TRUE(server.present());
    std::string local = FreshDirectory("put"), big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
    WriteWholeFile(local + "\\big.bin", big);
    WriteWholeFile(local + "\\lines.txt", "one\r\ntwo\nthree\r\n");
    Transcript s = Ryftp(server.host + " ryuser rypass",
                         "put big.bin\nhash\nput big.bin marked.bin\nhash\nascii\nput lines.txt\n", local);
    EXPECT_EQ(s.exitCode, 0u) << s.out;
    EXPECT_TRUE(s.says({"3.0 MiB of 3.0 MiB (100%)", "sent big.bin as big.bin: 3145728 bytes in ",
                        "ryftp> put big.bin marked.bin\n" + std::string(1536, '#') + "\nsent big.bin as marked.bin",
                        "sent lines.txt as lines.txt: 16 bytes\n"}));
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(server.path("big.bin"), &ok), big);
    EXPECT_EQ(ReadWholeFile(server.path("marked.bin"), &ok), big);
    EXPECT_EQ(ReadWholeFile(server.path("lines.txt"), &ok), "one\ntwo\nthree\n");
}

// The names come from the server: none may reach a local path, or the terminal, as it is.
TEST(RyftpMget, NamesNoLocalFileMayTakeAreSkippedEachSayingWhy) {
    FtpServer server = ServerFromEnvironment("SCRIPTED");
    ASSERT_TRUE(server.present());
    std::string base = FreshDirectory("unsafe"), in = FreshDirectory("unsafe\\in");
    Transcript s = Ryftp("-i " + server.host + " u p", "lcd in\nmget unsafe/*\n", base);
    EXPECT_EQ(s.exitCode, 1u);
    EXPECT_TRUE(s.says({"skipped ../evil: it holds a path separator\n",
                        "skipped C:x: it names a drive or a stream\n", "skipped a\\b: it holds a path separator\n",
                        "skipped bell\\x07.txt: it holds control characters\n", "skipped ..: it names a directory\n",
                        "skipped CON.txt: it names a device\n", "skipped sub: a directory\n"}));
    EXPECT_EQ(s.out.find('\x07'), std::string::npos) << "a control byte reached the terminal";
    EXPECT_FALSE(FileExists(base + "\\evil") || FileExists("C:\\x"));
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((in + "\\*").c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &f))
        EXPECT_EQ(f.cFileName[0], '.') << "written: " << f.cFileName;
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

// ---- Bad input ------------------------------------------------------------------------------

// A session in this process, as ryftp runs a script (echoed): its transcript, and whether
// every line succeeded. No box may show: nothing here would answer it.
Transcript RunInProcess(const std::string& script, bool* allOk) {
    std::string path = FreshDirectory("inprocess") + "\\session";
    WriteWholeFile(path + ".ryftp", script);
    FILE *in = fopen((path + ".ryftp").c_str(), "rb"), *out = fopen((path + ".txt").c_str(), "wb");
    RyKitBuffer results;
    RyKitBufferReserve(&results, RYINET_LISTING_BYTES(16), [](void*, size_t) { abort(); }, nullptr);
    RyKitBoxWatch boxes = {};
    {
        ryftp::Session session(nullptr, results, boxes, false, out);
        InputLine line;
        for (*allOk = true; !session.finished && ReadLine(in, &line);) *allOk = session.runLine(line, true) && *allOk;
    }
    RyKitBufferFree(&results);
    fclose(in);
    fclose(out);
    Transcript t;
    bool ok = false;
    t.out = ReadWholeFile(path + ".txt", &ok);
    return t;
}

TEST(RyftpInput, EachBadLineGetsOneClearLineAndTheSessionGoesOn) {
    const char binary[] = "get \x01\x02\xff bin\0ary\n";
    std::string script = "frob\ncd\nrename a\npwd extra\ndir\n\"unbalanced\n" + std::string(5000, 'x') + "\n" +
                         std::string(binary, sizeof binary - 1) +
                         "\n   \n# a comment\nhelp nothing\nhelp pwd\nstatus\ntype frob\nuser x\nmget\n"
                         "open h 2121\nopen h\nls\nquote PASS secret words\nquit\nstatus\n";
    bool allOk = true;
    Transcript s = RunInProcess(script, &allOk);
    EXPECT_FALSE(allOk);
    EXPECT_TRUE(s.says({"unknown command: frob", "usage: cd DIR\n", "usage: rename OLD NEW\n", "usage: pwd\n",
                        "ryftp> dir\nnot connected: open HOST first\n", "unbalanced quotes: line ignored\n",
                        "line over 4096 bytes: ignored\n", "line with control bytes: ignored\n",
                        "# a comment\n", "unknown command: nothing\n", "show the remote directory\n",
                        "ftp: not connected\n", "usage: type [binary|ascii]\n", "not connected: open HOST first\n",
                        "usage: mget PATTERN...\n", "the library connects to port 21 only\n",
                        "not logged in to h: no user name\n", "not logged in to h: user NAME [PASSWORD] first\n",
                        "ryftp> quote PASS **** ****\nnot logged in to h", "ryftp> quit\n"}));
    EXPECT_EQ(s.out.find("secret"), std::string::npos);
    EXPECT_EQ(s.out.find("status", s.out.find("ryftp> quit")), std::string::npos) << "quit ends the session";
}

TEST(RyftpInput, HelpListsTheCommandsOfFtpScriptsUnderTheirNamesAndAliases) {
    bool allOk = false;
    Transcript s = RunInProcess("help\n", &allOk);
    for (const char* name : {"user", "lcd", "mget", "mput", "mdelete", "prompt", "bin", "ascii", "type", "hash",
                             "passive", "verbose", "literal", "recv", "send", "disconnect", "append", "!", "?"}) {
        const ryftp::Command* c = ryftp::FindCommand(name);
        ASSERT_NE(c, nullptr) << name;
        size_t row = s.out.find("\n  " + std::string(c->name));
        ASSERT_NE(row, std::string::npos) << name;
        std::string line = s.out.substr(row + 1, s.out.find('\n', row + 1) - row - 1);
        EXPECT_NE(line.find(name == std::string(c->name) ? name : std::string(", ") + name), std::string::npos) << line;
    }
}

TEST(RyftpInput, CommandLineErrorsExitTwoAndHelpAndVersionZero) {
    struct Case {
        const char* args;
        DWORD exitCode;
        const char* says;
    } cases[] = {
        {"--help", 0, "usage: ryftp"}, {"--version", 0, "ryftp 1."}, {"--frob", 2, "unknown option --frob"},
        {"--max-entries 0", 2, "--max-entries takes 1 to"}, {"--max-entries", 2, "needs a number"},
        {"-s:Z:\\no\\such.ryftp", 2, "cannot read"}, {"h u p extra", 2, "too many arguments"},
        {"-V", 2, "unknown option -V"}, {"-a -w:4096 -in --version", 0, "ryftp 1."},
    };
    for (const Case& c : cases) {
        Transcript s = Ryftp(c.args);
        EXPECT_EQ(s.exitCode, c.exitCode) << c.args;
        EXPECT_NE(s.out.find(c.says), std::string::npos) << c.args << ":\n" << s.out;
    }
}

// ---- The result buffer ----------------------------------------------------------------------

// Twenty files whose records are 221 bytes each: 4420 bytes of listing text.
class LongListing : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = ServerFromEnvironment("RYFTP_PYFTPD");
        ASSERT_TRUE(server_.present());
        CreateDirectoryA(server_.path("many").c_str(), nullptr);
        for (int i = 0; i < 20; ++i)
            WriteWholeFile(server_.path("many/" + std::string(198, 'n') + std::to_string(10 + i)), "data");
    }
    Transcript list(const char* maxEntries) {
        return Ryftp("--max-entries " + std::string(maxEntries) + " " + server_.host + " ryuser rypass",
                     "ls many/*\n");
    }
    FtpServer server_;
};

TEST_F(LongListing, AListingThatFitsItsRoomIsShownWhole) {
    Transcript s = list("16");  // 4641 bytes of room
    EXPECT_EQ(s.exitCode, 0u) << s.out;
    EXPECT_TRUE(s.says({"n29\n20 entries\n"}));
}

TEST_F(LongListing, AListingPastItsRoomStopsRyftpAsItIsWritten) {
    // 4351 bytes of room, a text that ends in the room's last page; 291 bytes, one page.
    for (const char* entries : {"15", "1"}) {
        Transcript s = list(entries);
        EXPECT_EQ(s.exitCode, 1u) << "stopped, not crashed";
        EXPECT_TRUE(s.says({"ryftp> ls many/*\n",
                            std::string("the result passed the ") + (entries[0] == '1' && entries[1] ? "4351" : "291") +
                                " bytes reserved for it",
                            "stops before"}));
        EXPECT_EQ(s.out.find("20 entries"), std::string::npos);
    }
}

// The platform reads a listing a byte at a time, so a big directory arrives slowly; but
// it arrives, and a --timeout shorter than the whole listing does not end it.
TEST(RyftpBigDirectory, ListsWholeWithATimeoutShorterThanTheListingTakes) {
    FtpServer server = ServerFromEnvironment("RYFTP_PYFTPD");
    ASSERT_TRUE(server.present());
    CreateDirectoryA(server.path("big").c_str(), nullptr);
    for (int i = 0; i < 2000; ++i) WriteWholeFile(server.path("big/f" + std::to_string(i)), "");
    Transcript s = Ryftp("--timeout 5 " + server.host + " ryuser rypass", "ls big/*\n");
    EXPECT_EQ(s.exitCode, 0u) << s.out.substr(s.out.size() > 300 ? s.out.size() - 300 : 0);
    EXPECT_TRUE(s.says({"  f1999\n", "2000 entries\n"}));
    EXPECT_GT(s.seconds, 5.0) << "listed within the time-out: nothing was shown";
    printf("2000 entries listed in %.1f s\n", s.seconds);
}

// ---- A hostile server --------------------------------------------------------------------------

// A byte a terminal would act on: what cat -A shows as ^X or M-^X.
// A control character (C0 but the line end, DEL, C1 in UTF-8) or a byte of no valid UTF-8.
bool HasControlBytes(const std::string& text) {
    for (size_t at = 0, n; at < text.size(); at += n) {
        unsigned char b = text[at];
        n = RyKitUtf8Sequence(&text[at], text.size() - at);
        if (n == 0 || (b < 0x20 && b != '\n') || b == 0x7F || (b == 0xC2 && (unsigned char)text[at + 1] <= 0x9F))
            return true;
    }
    return false;
}

struct Misbehaviour {
    const char* what;
    const char* args;
    const char* script;  // HOST stands for the server's address
    std::vector<std::string> says;
    double mostSeconds;
};

std::string WithHost(std::string text, const std::string& host) {
    for (size_t at; (at = text.find("HOST")) != std::string::npos;) text.replace(at, 4, host);
    return text;
}

TEST(RyftpHostile, NothingRawReachesTheTerminalNoBrokenFileIsKeptAndNoCommandHangs) {
    FtpServer server = ServerFromEnvironment("HOSTILE");
    ASSERT_TRUE(server.present());
    const std::string escapes = "\\x1b[2J\\x1b]0;PWNED\\x07";
    const Misbehaviour table[] = {
        {"escapes in names, in PWD and in a refusal", "", "ls\npwd\nstatus\nput up.txt\n",
         {"      5  clear\\x1b[2J\\x1b[H.txt\n", "      5  title\\x1b]0;PWNED\\x07.txt\n",
          "      5  rub\\x08\\x08\\x7f.txt\n", "      5  c1\\xc2\\x9b2J\\xc2\\x85.txt\n", "5 entries\n",
          "ryftp> pwd\n/" + escapes + "dir\n", "as ryuser, in /" + escapes + "dir\n",
          "not sent: up.txt (553 denied " + escapes + " here)\n"}, 30},
        {"a 426 after the data, no SIZE", "", "get nosize_a\n",
         {"not received: nosize_a (426 connection closed; transfer aborted)\n"}, 30},
        {"the control connection dropped after the data", "", "get nosize_b\n",
         {"not received: nosize_b (no final reply after 150 here it comes)\n"}, 30},
        {"more bytes than SIZE announced", "", "get toolong\n",
         {"not received: toolong: more than the 100 bytes announced came\n"}, 30},
        {"a .part of the user's own", "", "get good.txt x\n", {"received x: 5 bytes\n"}, 30},
        {"a full disk after the data", "", "put up.txt full.bin\n",
         {"not sent: up.txt (552 exceeded storage allocation)\n"}, 30},
        {"append onto a remote file that comes cut short: nothing is sent back", "", "append up.txt full.bin\n",
         {"not appended: up.txt (cannot read full.bin (426 connection closed; transfer aborted))\n"}, 30},
        // A listing or a reply that goes on is progress, so only --max-time ends it; a
        // listing that stalls and a transfer that sends nothing more make none, and
        // --timeout ends them.
        {"a listing and a reply that never end, a listing that stalls, a transfer that never ends",
         "--timeout 3 --max-time 5",
         "ls endless/*\nopen HOST u p\nls stalled/*\nopen HOST u p\ncd endless\nopen HOST u p\nget endless\n"
         "open HOST u p\npwd\n",
         {"ryftp> ls endless/*\ntimed out after 5 s (--max-time); the connection to HOST is closed\n",
          "connected to HOST", "ryftp> ls stalled/*\ntimed out after 3 s; the connection to HOST is closed\n",
          "connected to HOST", "ryftp> cd endless\ntimed out after 5 s (--max-time); the connection to HOST is closed\n",
          "connected to HOST", "ryftp> get endless\ntimed out after 3 s; the connection to HOST is closed\n",
          "connected to HOST", "ryftp> pwd\n/"}, 2 * 5 + 2 * 3 + 4 * 6},
    };
    for (const Misbehaviour& m : table) {
        std::string local = FreshDirectory("hostile");
        WriteWholeFile(local + "\\up.txt", "up");
        WriteWholeFile(local + "\\x.part", "mine");
        // Each misbehaviour once: a server that does it every time is no broken line to try again.
        Transcript s = Ryftp(std::string("--echo-boxes --retries 0 ") + m.args + " " + server.host + " ryuser rypass",
                             WithHost(m.script, server.host), local);
        std::vector<std::string> says;
        for (const std::string& line : m.says) says.push_back(WithHost(line, server.host));
        EXPECT_TRUE(s.says(says)) << m.what;
        EXPECT_FALSE(HasControlBytes(s.out)) << m.what << ":\n" << s.out;
        EXPECT_LT(s.seconds, m.mostSeconds) << m.what;
        bool ok = false;
        EXPECT_EQ(ReadWholeFile(local + "\\x.part", &ok), "mine") << m.what;
        for (const char* name : {"nosize_a", "nosize_b", "toolong", "endless"}) {
            EXPECT_FALSE(FileExists(local + "\\" + name)) << m.what << ": " << name;
            EXPECT_FALSE(FileExists(local + "\\" + name + ".part")) << m.what << ": " << name;
        }
    }
}

// ryftp on this process's console, so that Ctrl-C reaches it, fed its lines one by one.
struct LiveRyftp {
    HANDLE process = nullptr, output = nullptr, input = nullptr;
    std::string out;
    size_t seen = 0;

    explicit LiveRyftp(const std::string& args) {
        SECURITY_ATTRIBUTES inherit = kInherited;
        HANDLE in;
        CreatePipe(&in, &input, &inherit, 0);
        SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
        process = StartRyftp(args, FreshDirectory("live"), in, 0, &output);
        CloseHandle(in);
    }
    ~LiveRyftp() {
        if (process) TerminateProcess(process, 99), CloseHandle(process);
        CloseHandle(input);
        CloseHandle(output);
    }
    void send(const std::string& line) {
        DWORD written;
        WriteFile(input, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    // Reads until text comes, after what was waited for before; false after ms without it.
    bool waitFor(const std::string& text, DWORD ms) {
        for (ULONGLONG end = GetTickCount64() + ms; GetTickCount64() < end;) {
            size_t found = out.find(text, seen);
            if (found != std::string::npos) {
                seen = found + text.size();
                return true;
            }
            DWORD waiting = 0;
            if (PeekNamedPipe(output, nullptr, 0, nullptr, &waiting, nullptr) && waiting) ReadSome(output, &out);
            else Sleep(50);
        }
        return false;
    }
};

// Ctrl-C reaches this process too, on a thread of its own that Wine may start well after ryftp has
// answered: the events are counted, so the handler stays until each has been seen here.
std::atomic<int> ctrlCsSeen{0};
BOOL WINAPI CountCtrlC(DWORD event) {
    if (event != CTRL_C_EVENT) return FALSE;
    ++ctrlCsSeen;
    return TRUE;
}

TEST(RyftpHostile, CtrlCCancelsTheCommandThatRunsAndEndsRyftpWhenNoneRuns) {
    FtpServer server = ServerFromEnvironment("HOSTILE");
    ASSERT_TRUE(server.present());
    // A console of this test's own for ryftp to share: Ctrl-C goes to every process on it.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    ctrlCsSeen = 0;
    SetConsoleCtrlHandler(&CountCtrlC, TRUE);
    LiveRyftp ryftp("--echo-boxes " + server.host + " ryuser rypass");
    ASSERT_TRUE(ryftp.process);
    ryftp.send("ls endless/*\n");
    ASSERT_TRUE(ryftp.waitFor("ryftp> ls endless/*\n", 10000)) << ryftp.out;
    Sleep(1000);
    ULONGLONG sent = GetTickCount64();
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_TRUE(ryftp.waitFor("cancelled; the connection to " + server.host + " is closed\n", 10000)) << ryftp.out;
    EXPECT_LT(GetTickCount64() - sent, 3000u);
    // An upload to a server that stops reading: sending blocks once the buffers are full.
    WriteWholeFile(TempPath("ryftp-live") + "\\big.bin", std::string(32 << 20, 'b'));
    ryftp.send("open " + server.host + " ryuser rypass\nput big.bin stalled.bin\n");
    ASSERT_TRUE(ryftp.waitFor("ryftp> put big.bin stalled.bin\n", 10000)) << ryftp.out;
    Sleep(2000);
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_TRUE(ryftp.waitFor("cancelled; the connection to " + server.host + " is closed\n", 10000)) << ryftp.out;
    ryftp.send("open " + server.host + " ryuser rypass\n");
    EXPECT_TRUE(ryftp.waitFor("connected to " + server.host, 10000)) << ryftp.out;
    EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    // The system's own handler ends it: with STATUS_CONTROL_C_EXIT on Windows, 0 under Wine.
    EXPECT_EQ(WaitForSingleObject(ryftp.process, 10000), WAIT_OBJECT_0) << "at the prompt, Ctrl-C ends ryftp";
    for (ULONGLONG end = GetTickCount64() + 10000; ctrlCsSeen < 3 && GetTickCount64() < end;) Sleep(50);
    // One still on its way would meet the default handler, which ends this process without a word.
    if (ctrlCsSeen == 3) SetConsoleCtrlHandler(&CountCtrlC, FALSE);
    EXPECT_EQ(ctrlCsSeen, 3);
    FreeConsole();
}

// ---- Broken transfers --------------------------------------------------------------------------
// The breaking server: the first RETR of each file sends half and says 426, the first STOR
// keeps 512 KiB. ryftp tries each again by itself, from where it broke.

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * seed + i / 1021);
    return bytes;
}

std::string CommandLog(const FtpServer& server) {
    bool ok = false;
    return ReadWholeFile(WindowsPath(server.unixRoot + "/../commands.log"), &ok);
}

TEST(RyftpBroken, GetPutAndMgetCompleteInOneCommandFromWhereTheyBroke) {
    FtpServer server = ServerFromEnvironment("RYFTP_BREAKING");
    ASSERT_TRUE(server.present());
    std::string local = FreshDirectory("broken"), up = Pattern(1500000, 3);
    WriteWholeFile(local + "\\up.bin", up);
    Transcript s = Ryftp("-i " + server.host + " ryuser rypass", "get big.bin\nput up.bin\nmget many/*\n", local);
    EXPECT_EQ(s.exitCode, 0u) << s.out;
    EXPECT_TRUE(s.says({"ryftp> get big.bin\nbroken off after 976 KiB of 1.9 MiB; trying again in 1 s (1 of 5)\n",
                        "received big.bin: 2000000 bytes", "going on from byte 1000000\n", "ryftp> put up.bin\n",
                        "; trying again in 1 s (1 of 5)\n", "going on from byte 524288\n", "ryftp> mget many/*\n"}));
    // mget's files come over connections of their own, each line as its file ends.
    for (const char* received : {"received a.bin: 300000 bytes", "received b.bin: 300001 bytes"})
        EXPECT_TRUE(s.says({"ryftp> mget many/*\n", received, "going on from byte 150000\n"}));
    bool ok = false;
    for (const char* name : {"big.bin", "many/a.bin", "many/b.bin"})
        EXPECT_TRUE(ReadWholeFile(local + "\\" + ryftp::BaseName(name), &ok) == ReadWholeFile(server.path(name), &ok)) << name;
    EXPECT_TRUE(ReadWholeFile(server.path("up.bin"), &ok) == up);
    std::string log = CommandLog(server);
    for (const char* rest : {"REST 1000000\n", "REST 524288\n", "REST 150000\n"})
        EXPECT_NE(log.find(rest), std::string::npos) << rest << log;
}

// With --retries 0 a get fails as it did before retries, keeping what came for reget;
// reget also goes on with a local file shorter than the remote one, as BSD ftp's does.
TEST(RyftpBroken, WithoutRetriesAGetFailsAndRegetGoesOnFromWhatIsHere) {
    FtpServer server = ServerFromEnvironment("RYFTP_BREAKING");
    ASSERT_TRUE(server.present());
    std::string local = FreshDirectory("reget"), file = Pattern(600000, 5), shorter = Pattern(400000, 7);
    WriteWholeFile(server.path("reget.bin"), file);
    WriteWholeFile(server.path("short.bin"), shorter);
    WriteWholeFile(local + "\\short.bin", shorter.substr(0, 100000));
    Transcript s = Ryftp("--retries 0 " + server.host + " ryuser rypass",
                         "get reget.bin\nstatus\nreget reget.bin\nreget short.bin\n", local);
    EXPECT_EQ(s.exitCode, 1u);
    EXPECT_TRUE(s.says({"not received: reget.bin: the transfer ended after 300000 of 600000 bytes\n",
                        "300000 bytes kept in reget.bin.rykit-partial: get or reget goes on from there\n",
                        "retries: 0\n", "partial: reget.bin holds 300000 of 600000 bytes of reget.bin; get or reget goes on\n",
                        "received reget.bin: 600000 bytes", "going on from byte 300000\n",
                        "received short.bin: 400000 bytes", "going on from byte 100000\n"}));
    bool ok = false;
    EXPECT_TRUE(ReadWholeFile(local + "\\reget.bin", &ok) == file);
    EXPECT_TRUE(ReadWholeFile(local + "\\short.bin", &ok) == shorter);
    EXPECT_FALSE(FileExists(local + "\\reget.bin.rykit-partial"));
}

// ---- Dial-up through the RAS stand-in ---------------------------------------------------------

// The stand-in drops the first line dialed: the broken get finds it down, dials again with
// the same credentials, connects again and goes on.
TEST(RyftpDialup, ADroppedLineIsDialedAgainAndTheTransferGoesOn) {
    FtpServer server = ServerFromEnvironment("RYFTP_BREAKING");
    ASSERT_TRUE(server.present());
    rasstandin::WriteUserPhonebook(FreshDirectory("appdata-drops"),
                                   "[Office]\r\nStandInUser=alice\r\nStandInPassword=office-pw\r\n"
                                   "StandInSavePassword=1\r\nStandInLineDrops=1\r\n");
    std::string file = Pattern(300000, 9);
    WriteWholeFile(server.path("dialed.bin"), file);
    Transcript s = Ryftp("", "dial Office\nopen " + server.host + " ryuser rypass\nget dialed.bin\nstatus\n");
    EXPECT_EQ(s.exitCode, 0u) << s.out;
    EXPECT_TRUE(s.says({"dialed Office\n", "broken off after 146 KiB of 292 KiB; trying again in 1 s (1 of 5)\n",
                        "the dial-up connection Office was down: dialed it again\n",
                        "received dialed.bin: 300000 bytes", "going on from byte 150000\n", "dial-up: Office\n"}));
}

TEST(RyftpDialup, CredsDialAndHangupAgainstTheStandInPhonebook) {
    // ryftp inherits the APPDATA that points there.
    rasstandin::WriteUserPhonebook(FreshDirectory("appdata"),
                                   "[Office]\r\nPhoneNumber=555-0100\r\nStandInUser=alice\r\nStandInPassword=office-pw"
                                   "\r\nStandInSavePassword=1\r\n\r\n[Home]\r\nStandInUser=bob\r\nStandInPassword=home-pw\r\n");
    Transcript s = Ryftp("--echo-boxes",
                         "phonebook\ncreds Office\ncreds Home\ncreds Nobody\ndial Office\nstatus\ndial Home\n"
                         "hangup\nhangup\ndial Office alice wrong\ndial Nobody\ndial Home bob home-pw\nhangup\n");
    EXPECT_EQ(s.exitCode, 1u);
    EXPECT_TRUE(s.says({"  Office\n  Home\n2 entries\n", "Office: user \"alice\", password (saved)\n",
                        "Home: user \"bob\", password (none)\n", "no such entry: Nobody\n",
                        "dialed Office\n", "dial-up: Office\n", "already dialed Office; hangup first\n",
                        "hung up Office\n", "no dial-up connection\n",
                        "ryftp> dial Office alice ****\ndial failed: Office\n",
                        "ryftp> dial Nobody\nno such entry: Nobody\n", "dialed Home\n", "hung up Home\n"}));
    EXPECT_EQ(s.out.find("office-pw"), std::string::npos);
}

}  // namespace
