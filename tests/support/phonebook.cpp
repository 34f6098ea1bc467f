#include "phonebook.h"
#include <ras.h>
#include <raserror.h>
#include <string.h>

namespace {

const DWORD kEntryNameSize = 264, kDialParamsSize = 1052, kStatusSize = 160;
const DWORD kNameField = 257;
const size_t kUserAt = 519, kPasswordAt = 776, kEntryAt = 4;  // offsets in the 1052-byte record

struct Service {
    std::vector<PhonebookEntry> entries;
    std::vector<PhonebookEntry> growth;
    bool fillWhatFits = false;
    bool unterminated = false;
    bool leaveHandle = true;
    DWORD nextHandle = 0x100;
    std::vector<DWORD> hangingUp;  // handles that need a few polls before they are gone
    int pollsLeft = 0;
    Phonebook::Observed seen;
} g;

void CopyField(char* field, const std::string& text) {
    size_t n = text.size() < kNameField ? text.size() : kNameField;
    memcpy(field, text.data(), n);
    if (n < kNameField) field[n] = '\0';
}

DWORD WINAPI EnumEntries(LPCSTR reserved, LPCSTR phonebook, LPRASENTRYNAMEA names, LPDWORD bytes, LPDWORD count) {
    g.seen.entryNameSizes.push_back(names->dwSize);
    g.seen.byteCounts.push_back(*bytes);
    if (reserved || phonebook) return ERROR_INVALID_PARAMETER;
    if (names->dwSize != kEntryNameSize) return ERROR_INVALID_SIZE;
    DWORD need = static_cast<DWORD>(g.entries.size()) * kEntryNameSize;
    DWORD fits = *bytes / kEntryNameSize;
    bool tooSmall = *bytes < need;
    if (tooSmall && !g.fillWhatFits) fits = 0;
    auto out = reinterpret_cast<BYTE*>(names);
    for (DWORD i = 0; i < fits && i < g.entries.size(); ++i) {
        auto rec = reinterpret_cast<RASENTRYNAMEA*>(out + i * kEntryNameSize);
        rec->dwSize = kEntryNameSize;
        if (g.unterminated)
            memset(rec->szEntryName, 'U', kNameField);
        else
            CopyField(rec->szEntryName, g.entries[i].name);
    }
    *count = static_cast<DWORD>(g.entries.size());
    *bytes = need;
    if (tooSmall && !g.growth.empty()) {  // the phonebook changes under the caller's feet
        g.entries.insert(g.entries.end(), g.growth.begin(), g.growth.end());
        g.growth.clear();
    }
    return tooSmall ? ERROR_BUFFER_TOO_SMALL : 0;
}

const PhonebookEntry* Find(const char* name) {
    for (const auto& e : g.entries)
        if (strncmp(e.name.c_str(), name, kNameField) == 0) return &e;
    return nullptr;
}

DWORD WINAPI HangUp(HRASCONN connection) {
    g.seen.hungUp.push_back(reinterpret_cast<DWORD>(connection));
    g.hangingUp.push_back(reinterpret_cast<DWORD>(connection));
    g.pollsLeft = 2;  // the port is released a little later, as on the real service
    return 0;
}

DWORD WINAPI ConnectStatus(HRASCONN connection, LPRASCONNSTATUSA status) {
    ++g.seen.statusPolls;
    g.seen.statusSizes.push_back(status->dwSize);
    if (status->dwSize != kStatusSize) return ERROR_INVALID_SIZE;
    for (DWORD h : g.hangingUp)
        if (h == reinterpret_cast<DWORD>(connection)) {
            if (g.pollsLeft-- > 0) return 0;
            return ERROR_INVALID_HANDLE;
        }
    return 0;
}

DWORD WINAPI Dial(LPRASDIALEXTENSIONS ext, LPCSTR phonebook, LPRASDIALPARAMSA params, DWORD notifierType,
                  LPVOID notifier, LPHRASCONN connection) {
    g.seen.dialParamSizes.push_back(params->dwSize);
    if (ext || phonebook || notifierType != 0 || notifier) g.seen.oddDialArguments = true;
    if (params->dwSize != kDialParamsSize) return ERROR_INVALID_SIZE;
    auto rec = reinterpret_cast<const char*>(params);
    const char* entry = rec + kEntryAt;
    const char* user = rec + kUserAt;
    const char* password = rec + kPasswordAt;
    g.seen.dialed.push_back(std::string(entry) + "/" + user + "/" + password);
    const PhonebookEntry* e = Find(entry);
    if (!e) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    if (e->user == user && e->password == password) {
        *connection = reinterpret_cast<HRASCONN>(g.nextHandle++);
        return 0;
    }
    if (g.leaveHandle) *connection = reinterpret_cast<HRASCONN>(g.nextHandle++);
    return ERROR_AUTHENTICATION_FAILURE;
}

}  // namespace

DWORD WINAPI Phonebook::GetEntryDialParams(LPCSTR phonebook, void* params, LPBOOL passwordReturned) {
    ++g.seen.paramReads;
    auto rec = static_cast<char*>(params);
    g.seen.dialParamSizes.push_back(*reinterpret_cast<DWORD*>(rec));
    if (phonebook) return ERROR_INVALID_PARAMETER;
    if (*reinterpret_cast<DWORD*>(rec) != kDialParamsSize) return ERROR_INVALID_SIZE;
    const PhonebookEntry* e = Find(rec + kEntryAt);
    if (!e) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    CopyField(rec + kUserAt, e->user);
    CopyField(rec + kPasswordAt, e->passwordSaved ? e->password : std::string());
    *passwordReturned = e->passwordSaved;
    return 0;
}

Phonebook::Phonebook() {
    g = Service();
    HMODULE m = Ryinet();
    const char* ras = "RASAPI32.DLL";
    patches_.emplace_back(new ImportPatch(m, ras, "RasEnumEntriesA", reinterpret_cast<void*>(&EnumEntries)));
    patches_.emplace_back(new ImportPatch(m, ras, "RasGetEntryDialParamsA", reinterpret_cast<void*>(&GetEntryDialParams)));
    patches_.emplace_back(new ImportPatch(m, ras, "RasDialA", reinterpret_cast<void*>(&Dial)));
    patches_.emplace_back(new ImportPatch(m, ras, "RasHangUpA", reinterpret_cast<void*>(&HangUp)));
    patches_.emplace_back(new ImportPatch(m, ras, "RasGetConnectStatusA", reinterpret_cast<void*>(&ConnectStatus)));
}

Phonebook::~Phonebook() = default;

bool Phonebook::installed() const {
    for (const auto& p : patches_)
        if (!p->active()) return false;
    return true;
}

void Phonebook::add(const PhonebookEntry& entry) { g.entries.push_back(entry); }
void Phonebook::clear() { g.entries.clear(); }
void Phonebook::growAfterCount(const std::vector<PhonebookEntry>& more, bool fillWhatFits) {
    g.growth = more;
    g.fillWhatFits = fillWhatFits;
}
void Phonebook::writeUnterminatedNames(bool on) { g.unterminated = on; }
void Phonebook::failedDialLeavesHandle(bool on) { g.leaveHandle = on; }
const Phonebook::Observed& Phonebook::observed() const { return g.seen; }
