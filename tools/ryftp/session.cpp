#include "session.h"
#include <stdarg.h>
#include <algorithm>
#include <ctype.h>
#include "command_table.h"
#include "text.h"
#include "visible.h"

namespace ryftp {

namespace {

// Each attempt told on a line of its own: "broken off after 1.0 MiB of 1.9 MiB; trying
// again in 2 s (1 of 5)".
void TellRetry(void* session, unsigned attempt, unsigned retries, DWORD pauseSeconds, const char* reason) {
    Session& s = *static_cast<Session*>(session);
    if (pauseSeconds == 0) s.say("%s\n", reason);
    else s.say("%s; trying again in %lu s (%u of %u)\n", reason, pauseSeconds, attempt, retries);
}

}  // namespace

Session::Session(HWND owner, RyKitBuffer& results, RyKitBoxWatch& boxes, bool interactive, FILE* out)
    : owner(owner), results(results), boxes(boxes), interactive(interactive), out(out) {
    RyKitLinkInit(&link, handles.internetSlot(), handles.connectionSlot(), owner, watchdog.kit(), &boxes);
    link.names = &names;
    link.retrying = &TellRetry;
    link.context = this;
}

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
    link.type = transferType();
    bool ok = c->run(*this, args);
    // A command that is no transfer (which the kit tries again itself) is run again whole.
    for (unsigned attempt = 0; !ok && c->triedAgain && connection();) {
        if (!RyKitWorthAnotherTry(RYKIT_CALL_FAILED, LastReply().c_str(), RyKitWatchdogEnding(watchdog.kit())))
            break;
        std::string why = watchdog.ending() == Watchdog::kTimedOut
                              ? "no progress for " + std::to_string(watchdog.timeoutSeconds()) + " s"
                              : "the server said: " + Visible(LastReply());
        if (!tryAgain(&attempt, why.c_str())) break;
        boxes.shown = 0;
        ok = c->run(*this, args);
    }
    Watchdog::Ending ending = watchdog.finish();
    if (ending != Watchdog::kRunning) ok = ended(ending);
    else if (!connection() && !user.empty()) ok = lost();
    fflush(out);
    return ok && boxes.shown == 0;
}

bool Session::tryAgain(unsigned* attempt, const char* reason) {
    return RyKitLinkAgain(&link, attempt, reason) != 0;
}

// The kit tried again until its attempts ran out, and closed the connection.
bool Session::lost() {
    say("the connection to %s is closed\n", host.c_str());
    closeConnection();
    return false;
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
    if (lineOpen_ && text[0] != '\n') WriteText(out, "\n");
    lineOpen_ = false;
    std::string whole(text, std::min<size_t>(length, sizeof text - 1));
    if (static_cast<size_t>(length) >= sizeof text) {
        whole.assign(length + 1, '\0');
        va_start(args, format);
        vsnprintf(&whole[0], whole.size(), format, args);
        va_end(args);
        whole.pop_back();
    }
    WriteText(out, whole);
    fflush(out);  // a program reading the transcript through a pipe gets each line as it is said
}

void Session::sayOnLine(const std::string& text) {
    if (watchdog.ending() != Watchdog::kRunning) return;
    WriteText(out, text);
    fflush(out);
    lineOpen_ = true;
}

void Session::clearLine() {
    if (!lineOpen_ || watchdog.ending() != Watchdog::kRunning) return;
    if (!IsConsole(out)) return endLine();
    WriteText(out, "\r" + std::string(79, ' ') + "\r");
    lineOpen_ = false;
}

void Session::endLine() {
    if (!lineOpen_ || watchdog.ending() != Watchdog::kRunning) return;
    WriteText(out, "\n");
    lineOpen_ = false;
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
    RyKitLinkForget(&link);
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

std::wstring Session::localPath(const std::wstring& name) const {
    bool absolute = (name.size() > 1 && name[1] == L':') || (!name.empty() && (name[0] == L'\\' || name[0] == L'/'));
    return absolute || localDirectory.empty() ? name : localDirectory + L"\\" + name;
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
