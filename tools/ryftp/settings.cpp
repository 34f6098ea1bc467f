// How the session works, as the Windows ftp command's toggles set it.
#include "command_table.h"
#include "session.h"

namespace ryftp {
namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }

}  // namespace

namespace cmd {

bool Prompt(Session& s, const Args&) {
    s.prompting = !s.prompting;
    s.say("prompting %s\n", OnOff(s.prompting));
    return true;
}

bool Binary(Session& s, const Args&) {
    s.ascii = false;
    s.say("transfers in binary\n");
    return true;
}

bool Ascii(Session& s, const Args&) {
    s.ascii = true;
    s.say("transfers in ascii: get turns LF line ends into CRLF, put sends in ASCII type\n");
    return true;
}

bool Type(Session& s, const Args& a) {
    std::string type = a.empty() ? "" : Upper(a[0]);
    if (type == "BINARY") return Binary(s, a);
    if (type == "ASCII") return Ascii(s, a);
    if (!type.empty()) {
        s.say("usage: type [binary|ascii]\n");
        return false;
    }
    s.say("transfers in %s\n", s.ascii ? "ascii" : "binary");
    return true;
}

bool Hash(Session& s, const Args&) {
    s.hash = !s.hash;
    s.say("hash marks %s (one for every %u bytes transferred)\n", OnOff(s.hash), kHashBytes);
    return true;
}

// BSD ftp's passive: on, off, or (no argument) the other way.
bool Passive(Session& s, const Args& a) {
    std::string mode = a.empty() ? "" : Upper(a[0]);
    if (!mode.empty() && mode != "ON" && mode != "OFF") {
        s.say("usage: passive [on|off]\n");
        return false;
    }
    s.passive = mode.empty() ? !s.passive : mode == "ON";
    s.say("passive mode %s%s\n", OnOff(s.passive), s.connection() ? " (from the next connection on)" : "");
    return true;
}

bool Verbose(Session& s, const Args&) {
    s.verbose = !s.verbose;
    s.say("verbose %s\n", OnOff(s.verbose));
    return true;
}

}  // namespace cmd
}  // namespace ryftp
