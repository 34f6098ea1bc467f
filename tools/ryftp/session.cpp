#include "session.h"
#include <stdarg.h>
#include <ctype.h>
#include "command_table.h"
#include "text.h"
#include "visible.h"

namespace ryftp {

Session::Session(HWND owner, RyKitBuffer& results, RyKitBoxWatch& boxes, bool interactive, FILE* out)
    : owner(owner), results(results), boxes(boxes), interactive(interactive), out(out) {}

Session::~Session() { closeConnection(); }

bool Session::run(const std::vector<std::string>& words) {
    if (words[0].size() > 1 && words[0][0] == '!') {  // "!dir", as ftp takes it
        std::vector<std::string> split = {"!", words[0].substr(1)};
        split.insert(split.end(), words.begin() + 1, words.end());
        return run(split);
    }
    const Command* c = FindCommand(words[0]);
    if (!c) {
        say("unknown command: %s (help lists the commands)\n", words[0].c_str());
        return false;
    }
    Args args(words.begin() + 1, words.end());
    if (args.size() < c->least || args.size() > c->most) {
        say("usage: %s%s%s\n", c->name, *c->usage ? " " : "", c->usage);
        return false;
    }
    if (c->needsConnection && !connected()) return false;
    boxes.shown = 0;
    fflush(out);  // the line is on screen, or in the transcript, while its command runs
    watchdog.begin();
    bool ok = c->run(*this, args);
    Watchdog::Ending ending = watchdog.finish();
    if (ending != Watchdog::kRunning) ok = ended(ending);
    fflush(out);
    return ok && boxes.shown == 0;
}

// The watchdog closed the handles; what the command opened after that goes too.
bool Session::ended(Watchdog::Ending how) {
    std::string why = how == Watchdog::kCancelled ? std::string("cancelled")
                      : how == Watchdog::kMaxTime
                          ? "timed out after " + std::to_string(watchdog.maxTimeSeconds()) + " s (--max-time)"
                          : "timed out after " + std::to_string(watchdog.timeoutSeconds()) + " s";
    if (!host.empty()) why += "; the connection to " + host + " is closed";
    closeConnection();
    say("%s\n", why.c_str());
    return false;
}

bool Session::runLine(const InputLine& line, bool echo) {
    if (line.problem == InputLine::kTooLong) {
        if (echo) say("ryftp> %.40s...\n", line.text.c_str());
        say("line over %u bytes: ignored\n", static_cast<unsigned>(kMaxLine));
        return false;
    }
    if (line.problem == InputLine::kBinary) {
        if (echo) say("ryftp> (a line with control bytes)\n");
        say("line with control bytes: ignored\n");
        return false;
    }
    size_t first = line.text.find_first_not_of(" \t");
    if (first == std::string::npos) return true;
    if (line.text[first] == '#') {
        if (echo) say("%s\n", line.text.c_str() + first);
        return true;
    }
    std::vector<std::string> words;
    if (!SplitWords(line.text, &words)) {
        if (echo) say("ryftp> %s\n", line.text.c_str());
        say("unbalanced quotes: line ignored\n");
        return false;
    }
    if (echo) say("ryftp> %s\n", EchoLine(words).c_str());
    return run(words);
}

void Session::say(const char* format, ...) {
    if (watchdog.ending() != Watchdog::kRunning) return;
    va_list args;
    va_start(args, format);
    char text[1024];
    int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) return;
    if (static_cast<size_t>(length) < sizeof text) return WriteText(out, std::string(text, length));
    std::string whole(length + 1, '\0');
    va_start(args, format);
    vsnprintf(&whole[0], whole.size(), format, args);
    va_end(args);
    whole.pop_back();
    WriteText(out, whole);
}

bool Session::holdsHost() {
    if (!host.empty()) return true;
    say("not connected: open HOST first\n");
    return false;
}

bool Session::connected() {
    if (connection()) return true;
    if (holdsHost()) say("not logged in to %s: user NAME [PASSWORD] first\n", host.c_str());
    return false;
}

void Session::closeConnection() {
    handles.close(owner);
    host.clear();
    user.clear();
}

// Time spent waiting for the user is no lack of progress: the watchdog does not count it.
bool Session::answer(const char* prompt, bool secret, std::string* text) {
    text->clear();
    if (interactive) {
        watchdog.waitForUser(true);
        bool got = true;
        if (secret) {
            *text = ReadSecret(prompt);
        } else {
            WriteText(stdout, prompt);
            fflush(stdout);
            InputLine line;
            Input console(stdin);
            got = console.next(&line);
            if (got && line.problem == InputLine::kNone) text->swap(line.text);
        }
        watchdog.waitForUser(false);
        return got;
    }
    if (!answers) return false;
    InputLine line;
    bool got = answers->next(&line);
    if (got && line.problem == InputLine::kNone) text->swap(line.text);
    say("%s%s\n", prompt, !got ? "(no answer: the input ended)" : secret ? "****" : text->c_str());
    return got;
}

std::string Session::askPassword(const char* prompt) {
    std::string password;
    answer(prompt, true, &password);
    return password;
}

std::string Session::localPath(const std::string& name) const {
    bool absolute = (name.size() > 1 && name[1] == ':') || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    return absolute || localDirectory.empty() ? name : localDirectory + "\\" + name;
}

std::string Session::nameText(const char* bytes, size_t length) const {
    std::vector<WCHAR> text(length + 1);
    size_t units = RyKitNameToText(&names, bytes, length, text.data(), text.size());
    return Utf8(text.data(), units);
}

bool Session::serverName(const std::string& text, std::string* bytes) {
    std::wstring wide = Wide(text);
    bytes->assign(3 * wide.size() + 1, '\0');
    bytes->resize(RyKitNameToServer(&names, wide.c_str(), &(*bytes)[0], bytes->size()));
    if (!bytes->empty() || text.empty()) return true;
    say("%s: the server's code page has no such characters\n", text.c_str());
    return false;
}

DWORD Session::transferType() const { return ascii ? FTP_TRANSFER_TYPE_ASCII : FTP_TRANSFER_TYPE_BINARY; }

std::string CurrentRemoteDirectory(Session& s) {
    char dir[RYINET_CURDIR_BYTES] = "";
    RyFtpCurDir(s.connection(), s.owner, dir);
    return dir;
}

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string WhyNot(const char* reply, DWORD error) {
    return reply[0] ? Visible(reply) : "WININET error " + std::to_string(error);
}

std::string LastReply() {
    char reply[RYKIT_REPLY_BYTES];
    RyKitLastResponseInfo(reply, sizeof reply);
    return reply;
}

bool NothingMatched(Session& s) {
    char reply[RYKIT_REPLY_BYTES];
    if (RyKitNothingListed(reply, sizeof reply)) return true;
    s.say("listing failed: %s\n", reply[0] ? Visible(reply).c_str() : "no reply from the server");
    if (!s.passive)
        s.say("in active mode the server connects back to this machine, which a NAT or a firewall stops: "
              "passive on\n");
    return false;
}

void Wipe(std::string& secret) {
    if (!secret.empty()) SecureZeroMemory(&secret[0], secret.size());
    secret.clear();
}

}  // namespace ryftp
