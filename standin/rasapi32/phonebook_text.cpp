#include <stdlib.h>
#include "phonebook_text.h"

namespace rasstandin {
namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Keys match in either case, as the Windows phonebook's are read.
bool SameKey(const std::string& a, const char* b) {
    size_t i = 0;
    while (i < a.size() && b[i] && Upper(a[i]) == Upper(b[i])) ++i;
    return i == a.size() && !b[i];
}

}  // namespace

std::vector<Entry> ParsePhonebook(const std::string& text) {
    std::vector<Entry> entries;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(at, end - at));
        at = end + 1;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            entries.push_back({line.substr(1, line.size() - 2), "", "", false});
            continue;
        }
        size_t eq = line.find('=');
        if (entries.empty() || eq == std::string::npos) continue;
        std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        Entry& e = entries.back();
        if (SameKey(key, "StandInUser")) e.user = value;
        else if (SameKey(key, "StandInPassword")) e.password = value;
        else if (SameKey(key, "StandInSavePassword")) e.passwordSaved = value == "1";
        else if (SameKey(key, "StandInLineDrops")) e.lineDrops = atoi(value.c_str());
    }
    return entries;
}

}  // namespace rasstandin
