// One ryftp session: the handles it holds, where it reports, and how it runs a line. The
// commands (namespace ryftp::cmd) work on it; their table (command_table.cpp) says how
// each is called. Nothing here reads the console, so a test can run a session in its
// own process.
#pragma once
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "input.h"
#include "ryinet_kit.h"
#include "watchdog.h"

namespace ryftp {

// How a transfer shows that it moves: a progress line for files over 1 MiB, or a # for
// every kHashBytes (the hash command).
enum class ProgressStyle { kLine, kHash };
const unsigned kHashBytes = 2048;

struct Session {
    Session(HWND owner, RyKitBuffer& results, RyKitBoxWatch& boxes, bool interactive, FILE* out = stdout);
    ~Session();  // closes the connection, then the session
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one command; false when it failed, after saying why. A command the watchdog
    // ended (a time-out, Ctrl-C) fails with its connection closed, and what it would still
    // say about its failing calls is not shown.
    bool run(const std::vector<std::string>& words);
    // Runs one input line (blank lines and # comments are no commands), echoed after the
    // prompt when echo is on, as a script's transcript shows it; false when it failed.
    bool runLine(const InputLine& line, bool echo);

    // Everything ryftp tells the user goes through here; quiet once the watchdog has
    // ended the command. A message after a progress line that is still open starts on a
    // line of its own.
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The progress line's text (redrawn with \r, or hash marks): it stays open until the
    // next message, or endLine.
    void sayOnLine(const std::string& text);
    void endLine();
    // The progress line taken off the console, for a message that goes above it (a
    // transcript that is no console keeps it, and the message goes on a line of its own).
    void clearLine();
    // After a failure worth another try (the kit's policy): the pause, the connection
    // opened anew, true; false when the attempts ran out, with the connection closed.
    bool tryAgain(unsigned* attempt, const char* reason);
    // false, after saying what the command needs, when no host is connected (or held).
    bool connected();
    bool holdsHost();
    void closeConnection();
    // A prompt's answer: typed at the console (a secret without echo), or, in a script, its
    // next line, as the Windows ftp command reads them. False at the end of the input.
    bool answer(const char* prompt, bool secret, std::string* text);
    std::string askPassword(const char* prompt);  // "" when nobody answers
    // A local name as this session's local directory (lcd) takes it.
    std::wstring localPath(const std::wstring& name) const;
    // A name the server sent, as text (names learns what it is written in).
    std::string nameText(const char* bytes, size_t length) const;
    std::string nameText(const std::string& bytes) const { return nameText(bytes.data(), bytes.size()); }
    // A name the user gave, as the server takes it; false, after saying so, when the
    // server's encoding cannot write it.
    bool serverName(const std::string& text, std::string* bytes);

    DWORD connection() const { return handles.connection(); }
    DWORD internet() const { return handles.internet(); }
    ProgressStyle progressStyle() const { return hash ? ProgressStyle::kHash : ProgressStyle::kLine; }
    DWORD transferType() const;  // FTP_TRANSFER_TYPE_ASCII or _BINARY

    HWND owner;              // owns the library's boxes: the console window
    RyKitBuffer& results;    // for RyFtpDir and RyRasEnumE, which write all they have
    RyKitBoxWatch& boxes;    // a command that showed a box failed
    bool interactive;
    FILE* out;               // the transcript
    bool finished = false;
    FtpHandles handles;      // from RyINetOpen and RyFtpConnect on it
    Watchdog watchdog{handles};  // ends a command that hangs, or that Ctrl-C cancels
    RyKitLink link;          // what the connection was opened with: a broken one opens again
    std::string host, user;  // a host without a connection waits for its log-in
    std::string dialEntry;   // the last dial's (link.dial is its connection, ours to hang up)
    std::wstring localDirectory;  // lcd's ("": the process's); the process's own stays put
    RyKitNames names{};          // what the server's names are written in

    // As the Windows ftp command has them: set from ryftp's options, changed by commands.
    Input* answers = nullptr;  // a script, whose next lines answer prompts
    bool autoLogin = true;    // -n: open only holds the host
    bool anonymous = false;   // -A: open logs in as anonymous
    bool prompting = true;    // -i, prompt: mget, mput and mdelete ask for each file
    bool globbing = true;     // -g: mput takes its names as they are
    bool verbose = true;      // -v, verbose: quote shows the server's reply
    bool debugging = false;   // -d: the commands ryftp sends itself are shown
    bool ascii = false;       // ascii, binary, type
    bool hash = false;        // hash marks instead of the progress line
    bool passive = true;      // passive, --active: who opens the data connections
    unsigned parallel = RYKIT_PARALLEL;  // --parallel: the files mget, mput and mdelete move at once

private:
    bool ended(Watchdog::Ending how);  // says how, closes the connection; false
    bool lost();                       // says the kit closed the connection; false
    bool lineOpen_ = false;            // a progress line waits for its end
};

// What the commands share.
std::string CurrentRemoteDirectory(Session& s);  // RyFtpCurDir's text, the server's bytes
std::string Plural(size_t n, const char* one, const char* many);
std::string BaseName(const std::string& path);
std::string Upper(std::string text);
// The server's reply WININET kept when there is one, else WININET's error number.
std::string WhyNot(const char* reply, DWORD error);
// The server's last reply, as ryftp prints it.
std::string LastReply();
// After RyFtpDir opened no listing: false, after saying why, when the listing failed (a
// refused data connection, a closed connection); true when nothing matched (the server
// said so, or listed nothing), which the caller says in its own words.
bool NothingMatched(Session& s);
void Wipe(std::string& secret);
// The kit's partials waiting in the local directory, as status shows them.
void SayPartials(Session& s);

}  // namespace ryftp
