#include "phonebook.h"
#include <ras.h>
#include <raserror.h>

namespace {

struct Bench {
    rasstandin::Service service;
    std::vector<PhonebookEntry> growth;
    bool unterminated = false;
    Phonebook::Observed seen;
} g;

DWORD WINAPI EnumEntries(LPCSTR reserved, LPCSTR phonebook, LPRASENTRYNAMEA names, LPDWORD bytes, LPDWORD count) {
    g.seen.entryNameSizes.push_back(names->dwSize);
    g.seen.byteCounts.push_back(*bytes);
    std::vector<rasstandin::Entry> kept;
    if (g.unterminated) {  // names that fill the whole field
        kept = g.service.entries;
        for (auto& e : g.service.entries) e.name.assign(RAS_MaxEntryName + 1, 'U');
    }
    DWORD result = g.service.enumEntries(reserved, phonebook, names, bytes, count);
    if (g.unterminated) g.service.entries = kept;
    if (result == ERROR_BUFFER_TOO_SMALL) {  // the phonebook changes under the caller's feet
        g.service.entries.insert(g.service.entries.end(), g.growth.begin(), g.growth.end());
        g.growth.clear();
    }
    return result;
}

DWORD WINAPI HangUp(HRASCONN connection) {
    g.seen.hungUp.push_back(reinterpret_cast<DWORD>(connection));
    return g.service.hangUp(connection);
}

DWORD WINAPI ConnectStatus(HRASCONN connection, LPRASCONNSTATUSA status) {
    ++g.seen.statusPolls;
    g.seen.statusSizes.push_back(status->dwSize);
    return g.service.connectStatus(connection, status);
}

DWORD WINAPI Dial(LPRASDIALEXTENSIONS ext, LPCSTR phonebook, LPRASDIALPARAMSA params, DWORD notifierType,
                  LPVOID notifier, LPHRASCONN connection) {
    g.seen.dialParamSizes.push_back(params->dwSize);
    if (ext || phonebook || notifierType != 0 || notifier) g.seen.oddDialArguments = true;
    if (params->dwSize == 1052) {
        auto rec = reinterpret_cast<const char*>(params);
        g.seen.dialed.push_back(std::string(rec + 4) + "/" + (rec + 519) + "/" + (rec + 776));
    }
    return g.service.dial(ext, phonebook, params, connection);
}

}  // namespace

DWORD WINAPI Phonebook::GetEntryDialParams(LPCSTR phonebook, void* params, LPBOOL passwordReturned) {
    ++g.seen.paramReads;
    g.seen.dialParamSizes.push_back(*static_cast<DWORD*>(params));
    return g.service.getEntryDialParams(phonebook, params, passwordReturned);
}

Phonebook::Phonebook() {
    g = Bench();
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

void Phonebook::add(const PhonebookEntry& entry) { g.service.entries.push_back(entry); }
void Phonebook::clear() { g.service.entries.clear(); }
void Phonebook::growAfterCount(const std::vector<PhonebookEntry>& more, bool fillWhatFits) {
    g.growth = more;
    g.service.fillWhatFits = fillWhatFits;
}
void Phonebook::writeUnterminatedNames(bool on) { g.unterminated = on; }
void Phonebook::failedDialLeavesHandle(bool on) { g.service.failedDialLeavesHandle = on; }
const Phonebook::Observed& Phonebook::observed() const { return g.seen; }
