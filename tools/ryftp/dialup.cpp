// Dial-up: the phonebook's entries, an entry's stored credentials, dialing and hanging up.
// The dial's connection handle is ryftp's to end: the library has no hang-up.
#include <windows.h>
#include "command_table.h"
#include "ryinet_kit.h"
#include "session.h"
#include "text.h"
#include "visible.h"

namespace ryftp {
namespace {

// A text the library copies into a field of RYINET_CREDENTIAL_BYTES, terminator included.
bool FitsCredentialField(Session& s, const std::string& text, const char* what) {
    if (text.size() < RYINET_CREDENTIAL_BYTES) return true;
    s.say("%s too long: at most %d characters\n", what, RYINET_CREDENTIAL_BYTES - 1);
    return false;
}

// The user name and password to dial an entry with, in the ANSI code page the library
// takes: given, or the stored ones (asking for a password that is not saved). False,
// after saying why, when the entry has none.
bool DialCredentials(Session& s, const Args& a, std::string* user, std::string* password) {
    if (a.size() > 1) {
        std::string typed = a.size() > 2 ? a[2] : s.askPassword("Password: ");
        *user = Ansi(a[1]);
        *password = Ansi(typed);
        Wipe(typed);
        return true;
    }
    RyKitCredentials stored;
    bool found = RyKitReadCredentials(&stored, Ansi(a[0]).c_str());
    *user = stored.user;
    *password = stored.passwordSaved ? stored.password : "";
    bool ask = found && !stored.passwordSaved;
    RyKitWipeCredentials(&stored);
    if (!found) {
        s.say("no such entry: %s\n", a[0].c_str());
        return false;
    }
    if (ask) {
        std::string typed = s.askPassword("Password: ");
        *password = Ansi(typed);
        Wipe(typed);
    }
    return true;
}

}  // namespace

namespace cmd {

bool Phonebook(Session& s, const Args&) {
    RyKitBufferPhonebook(&s.results);
    size_t count = 0, length;
    const char *cursor = s.results.data, *name;
    for (; RyKitNextName(&cursor, &name, &length); ++count) s.say("  %s\n", Visible(TextFromBytes(std::string(name, length))).c_str());
    s.say("%s\n", count ? Plural(count, "entry", "entries").c_str() : "no entries");
    RyKitBufferDecommit(&s.results);
    return true;
}

bool Creds(Session& s, const Args& a) {
    if (!FitsCredentialField(s, a[0], "entry name")) return false;
    RyKitCredentials stored;
    bool found = RyKitReadCredentials(&stored, Ansi(a[0]).c_str());
    if (found)
        s.say("%s: user \"%s\", password %s\n", a[0].c_str(), Visible(TextFromBytes(stored.user)).c_str(),
              stored.passwordSaved ? "(saved)" : "(none)");
    else
        s.say("no such entry: %s\n", a[0].c_str());
    RyKitWipeCredentials(&stored);
    return found;
}

bool Dial(Session& s, const Args& a) {
    if (s.link.dial) {
        s.say("already dialed %s; hangup first\n", s.dialEntry.c_str());
        return false;
    }
    std::string user, password;
    if (!FitsCredentialField(s, a[0], "entry name") || !DialCredentials(s, a, &user, &password)) return false;
    if (s.watchdog.ending() != Watchdog::kRunning) return false;  // Ctrl-C at the prompt
    DWORD connection = 0;
    if (FitsCredentialField(s, user, "user name") && FitsCredentialField(s, password, "password"))
        connection = RyRasDial(s.owner, Ansi(a[0]).c_str(), user.c_str(), password.c_str());
    if (connection)  // a line that drops is dialed again with the same
        RyKitLinkDialed(&s.link, Ansi(a[0]).c_str(), user.c_str(), password.c_str(),
                        reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(connection)));
    Wipe(password);
    if (!connection) {
        s.say("dial failed: %s\n", a[0].c_str());
        return false;
    }
    s.dialEntry = a[0];
    s.say("dialed %s\n", a[0].c_str());
    return true;
}

bool HangUp(Session& s, const Args&) {
    if (!s.link.dial) {
        s.say("no dial-up connection\n");
        return false;
    }
    DWORD error = RyKitHangUp(s.link.dial);
    RyKitLinkDialed(&s.link, "", "", "", nullptr);
    if (error) s.say("hang-up of %s failed: RAS error %lu\n", s.dialEntry.c_str(), error);
    else s.say("hung up %s\n", s.dialEntry.c_str());
    return error == 0;
}

}  // namespace cmd
}  // namespace ryftp
