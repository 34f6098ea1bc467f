#include "command_table.h"
#include <string.h>
#include <algorithm>
#include "input.h"
#include "session.h"

namespace ryftp {
namespace {

using namespace cmd;

const Command kCommands[] = {
    // name, aliases, least and most arguments, secret, usage, help, needs a connection, handler,
    // run again whole after a broken connection
    {"open", "", 1, 3, 2, "HOST [USER [PASSWORD]]", "connect and log in (no USER: asks for it; see --help)", false, Open},
    {"user", "", 1, 2, 1, "NAME [PASSWORD]", "log in to the open host (no PASSWORD: asks for it)", false, User},
    {"close", "disconnect", 0, 0, kNoSecret, "", "end the FTP connection", false, Close},
    {"pwd", "", 0, 0, kNoSecret, "", "show the remote directory", true, Pwd, true},
    {"cd", "", 1, 1, kNoSecret, "DIR", "change the remote directory", true, Cd, true},
    {"lcd", "", 0, 1, kNoSecret, "[DIR]", "change or show the local directory", false, Lcd},
    {"ls", "dir", 0, 1, kNoSecret, "[PATTERN]", "list the remote directory", true, List, true},
    {"mkdir", "", 1, 1, kNoSecret, "DIR", "create a remote directory", true, Mkdir, true},
    {"rmdir", "", 1, 1, kNoSecret, "DIR", "remove a remote directory", true, Rmdir, true},
    {"delete", "", 1, 1, kNoSecret, "FILE", "delete a remote file", true, Delete, true},
    {"mdelete", "", 1, kAnyNumber, kNoSecret, "PATTERN...", "delete the remote files a listing names", true, Mdelete, true},
    {"rename", "", 2, 2, kNoSecret, "OLD NEW", "rename a remote file", true, Rename, true},
    {"get", "recv", 1, 2, kNoSecret, "REMOTE [LOCAL]", "receive a file", true, Get},
    {"reget", "", 1, 2, kNoSecret, "REMOTE [LOCAL]", "go on with a broken get: the partial, or a shorter local file", true, Reget},
    {"mget", "", 1, kAnyNumber, kNoSecret, "PATTERN...", "receive the files a listing names", true, Mget},
    {"put", "send", 1, 2, kNoSecret, "LOCAL [REMOTE]", "send a file", true, Put},
    {"mput", "", 1, kAnyNumber, kNoSecret, "PATTERN...", "send the local files that match", true, Mput},
    {"append", "", 1, 2, kNoSecret, "LOCAL [REMOTE]", "add a local file to the end of a remote one", true, Append},
    {"prompt", "", 0, 0, kNoSecret, "", "stop or start asking y/n/a/q for each file of mget, mput, mdelete", false, Prompt},
    {"binary", "bin", 0, 0, kNoSecret, "", "transfer files as they are (the default)", false, Binary},
    {"ascii", "", 0, 0, kNoSecret, "", "transfer text: get turns LF into CRLF, put sends in ASCII type", false, Ascii},
    {"type", "", 0, 1, kNoSecret, "[binary|ascii]", "set or show the transfer type", false, Type},
    {"hash", "", 0, 0, kNoSecret, "", "print a # for every 2048 bytes received, or stop", false, Hash},
    {"passive", "", 0, 1, kNoSecret, "[on|off]", "data connections opened by this machine (the default), or not", false, Passive},
    {"verbose", "", 0, 0, kNoSecret, "", "show the server's reply to quote, or stop", false, Verbose},
    {"quote", "literal", 1, kAnyNumber, kNoSecret, "COMMAND...", "send a command to the server, show its reply", false, Quote},
    {"status", "", 0, 0, kNoSecret, "", "show the connections and memory", false, Status},
    {"ip", "", 0, 0, kNoSecret, "", "show this machine's IP address", false, Ip},
    {"phonebook", "", 0, 0, kNoSecret, "", "list the dial-up phonebook's entries", false, Phonebook},
    {"creds", "", 1, 1, kNoSecret, "ENTRY", "show an entry's stored user name", false, Creds},
    {"dial", "", 1, 3, 2, "ENTRY [USER [PASSWORD]]", "dial an entry (no USER: the stored ones)", false, Dial},
    {"hangup", "", 0, 0, kNoSecret, "", "hang up the last dial", false, HangUp},
    {"!", "", 0, kAnyNumber, kNoSecret, "[COMMAND]", "run a local command (no COMMAND: a shell)", false, Shell},
    {"help", "?", 0, 1, kNoSecret, "[COMMAND]", "list the commands, or show one", false, Help},
    {"bye", "quit", 0, 0, kNoSecret, "", "close everything and leave", false, Bye},
};

std::vector<std::string> AliasesOf(const Command& c) {
    std::vector<std::string> aliases;
    SplitWords(c.aliases, &aliases);
    return aliases;
}

}  // namespace

const Command* FindCommand(const std::string& name) {
    for (const Command& c : kCommands) {
        std::vector<std::string> aliases = AliasesOf(c);
        if (name == c.name || std::find(aliases.begin(), aliases.end(), name) != aliases.end()) return &c;
    }
    return nullptr;
}

void PrintUsage(FILE* out, const Command& c) {
    std::string names = c.name;
    for (const std::string& alias : AliasesOf(c)) names += ", " + alias;
    fprintf(out, "  %-17s %-25s %s\n", names.c_str(), c.usage, c.help);
}

void PrintCommandHelp(FILE* out) {
    for (const Command& c : kCommands) PrintUsage(out, c);
}

std::string EchoLine(const std::vector<std::string>& words) {
    const Command* c = words.empty() ? nullptr : FindCommand(words[0]);
    size_t secret = c ? c->secret : kNoSecret;
    if (c && c->run == Quote && words.size() > 2 && Upper(words[1]) == "PASS") secret = 1;
    std::vector<std::string> shown(words);
    for (size_t i = secret == kNoSecret ? shown.size() : secret + 1; i < shown.size(); ++i)
        shown[i] = "****";  // the secret and anything after it
    return Joined(shown);
}

std::string Joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty()) line += ' ';
        line += w.empty() || w.find_first_of(" \t") != std::string::npos ? '"' + w + '"' : w;
    }
    return line;
}

namespace cmd {

bool Help(Session& s, const Args& a) {
    if (a.empty()) {
        PrintCommandHelp(s.out);
        return true;
    }
    const Command* c = FindCommand(a[0]);
    if (!c) {
        s.say("unknown command: %s\n", a[0].c_str());
        return false;
    }
    PrintUsage(s.out, *c);
    return true;
}

bool Bye(Session& s, const Args&) {
    s.finished = true;
    return true;
}

}  // namespace cmd
}  // namespace ryftp
