#include "session.h"
#include <stdarg.h>
#include "command_table.h"

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
    if (c->needsConnection && !connection) {
        if (host.empty()) say("not connected: open HOST first\n");
        else say("not logged in to %s: user NAME [PASSWORD] first\n", host.c_str());
        return false;
    }
    boxes.shown = 0;
    fflush(out);  // the line is on screen, or in the transcript, while its command runs
    watchdog.begin(&internet, &connection);
    bool ok = c->run(*this, args);
    Watchdog::Ending ending = watchdog.finish();
    if (ending != Watchdog::kRunning) ok = ended(ending);
    fflush(out);
    return ok && boxes.shown == 0;
}

// The watchdog closed the handles it found; what the command opened after that goes too.
bool Session::ended(Watchdog::Ending how) {
    std::string why = how == Watchdog::kCancelled
                          ? std::string("cancelled")
                          : "timed out after " + std::to_string(watchdog.timeoutSeconds) + " s";
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

Session::~Session() { closeConnection(); }

// The watchdog may take the handles from another thread: each is taken, and closed, once.
void Session::closeConnection() {
    CloseTaken(&connection, owner);
    CloseTaken(&internet, owner);
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
            fputs(prompt, stdout);
            fflush(stdout);
            InputLine line;
            got = ReadLine(stdin, &line);
            if (got && line.problem == InputLine::kNone) text->swap(line.text);
        }
        watchdog.waitForUser(false);
        return got;
    }
    if (!answers) return false;
    InputLine line;
    bool got = ReadLine(answers, &line);
    if (got && line.problem == InputLine::kNone) text->swap(line.text);
    say("%s%s\n", prompt, !got ? "(no answer: the input ended)" : secret ? "****" : text->c_str());
    return got;
}

std::string Session::askPassword(const char* prompt) {
    std::string password;
    answer(prompt, true, &password);
    return password;
}

void Session::checkFits(const char* what) {
    if (RyKitFits(&results)) return;
    say("%s does not fit: ", what);
    fflush(out);
    results.onOverflow(results.context, results.size);
}

void Session::say(const char* format, ...) {
    if (watchdog.ending() != Watchdog::kRunning) return;
    va_list args;
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
}
