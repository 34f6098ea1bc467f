// The phonebook file's text as the RAS stand-in reads it. Portable C++ with no Windows
// headers, so that the reader of this untrusted text is also fuzzed natively.
#pragma once
#include <string>
#include <vector>

namespace rasstandin {

struct Entry {
    std::string name;
    std::string user;
    std::string password;  // the password the remote side accepts
    bool passwordSaved;    // stored with the entry, so RasGetEntryDialParams returns it
    int lineDrops = 0;     // the first so many connections dialed go down once dialed
};

// Entries of a phonebook in the Windows phonebook's INI format, in file order: one
// [section] per entry; the stand-in's own keys StandInUser, StandInPassword and
// StandInSavePassword (1 = saved) hold the credentials; StandInLineDrops=N drops the
// first N connections a process dials for the entry. Other keys are ignored.
std::vector<Entry> ParsePhonebook(const std::string& text);

}  // namespace rasstandin
