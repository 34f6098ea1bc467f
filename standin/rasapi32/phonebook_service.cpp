#include "phonebook_service.h"
#include <raserror.h>
#include <string.h>
#include <algorithm>

namespace rasstandin {
namespace {

// Record sizes (dwSize) of the classic layouts: the service picks a layout by its size.
const DWORD kEntryNameSize = 264, kDialParamsSize = 1052, kClassicStatusSize = 160;
const DWORD kNameField = RAS_MaxEntryName + 1;  // the classic records' text fields
const size_t kEntryAt = 4, kUserAt = 519, kPasswordAt = 776;  // in the 1052-byte record

// A text as long as the field or longer fills it whole, with no terminator.
void CopyField(char* field, const std::string& text) {
    size_t n = std::min<size_t>(text.size(), kNameField);
    memcpy(field, text.data(), n);
    if (n < kNameField) field[n] = '\0';
}

}  // namespace

DWORD Service::enumEntries(LPCSTR reserved, LPCSTR phonebook, LPRASENTRYNAMEA names, LPDWORD bytes,
                           LPDWORD count) {
    if (reserved || phonebook) return ERROR_INVALID_PARAMETER;  // the default phonebook only
    if (names->dwSize != kEntryNameSize) return ERROR_INVALID_SIZE;
    DWORD need = static_cast<DWORD>(entries.size()) * kEntryNameSize;
    bool tooSmall = *bytes < need;
    DWORD fits = tooSmall && !fillWhatFits ? 0 : *bytes / kEntryNameSize;
    auto out = reinterpret_cast<BYTE*>(names);
    for (DWORD i = 0; i < fits && i < entries.size(); ++i) {
        auto rec = reinterpret_cast<RASENTRYNAMEA*>(out + i * kEntryNameSize);
        rec->dwSize = kEntryNameSize;
        CopyField(rec->szEntryName, entries[i].name);
    }
    *count = static_cast<DWORD>(entries.size());
    *bytes = need;
    return tooSmall ? ERROR_BUFFER_TOO_SMALL : 0;
}

const Entry* Service::find(const char* name) const {
    for (const Entry& e : entries)
        if (strncmp(e.name.c_str(), name, kNameField) == 0) return &e;
    return nullptr;
}

DWORD Service::getEntryDialParams(LPCSTR phonebook, void* params, LPBOOL passwordReturned) {
    auto rec = static_cast<char*>(params);
    if (phonebook) return ERROR_INVALID_PARAMETER;
    if (*reinterpret_cast<DWORD*>(rec) != kDialParamsSize) return ERROR_INVALID_SIZE;
    const Entry* e = find(rec + kEntryAt);
    if (!e) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    CopyField(rec + kUserAt, e->user);
    CopyField(rec + kPasswordAt, e->passwordSaved ? e->password : std::string());
    *passwordReturned = e->passwordSaved;
    return 0;
}

DWORD Service::dial(const void* extensions, LPCSTR phonebook, const void* params, HRASCONN* connection) {
    if (extensions || phonebook) return ERROR_INVALID_PARAMETER;
    auto rec = static_cast<const char*>(params);
    if (*reinterpret_cast<const DWORD*>(rec) != kDialParamsSize) return ERROR_INVALID_SIZE;
    const Entry* e = find(rec + kEntryAt);
    if (!e) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    bool accepted = e->user == rec + kUserAt && e->password == rec + kPasswordAt;
    if (!accepted && !failedDialLeavesHandle) return ERROR_AUTHENTICATION_FAILURE;
    // A failed dial still holds a port until it is hung up, as on the real service.
    DWORD error = accepted ? 0 : ERROR_AUTHENTICATION_FAILURE;
    int before = 0;
    for (const std::string& name : dialed_) before += name == e->name;
    if (accepted) dialed_.push_back(e->name);
    connections_.push_back({nextHandle_++, error, 0, false, accepted && before < e->lineDrops});
    *connection = reinterpret_cast<HRASCONN>(connections_.back().handle);
    return error;
}

Service::Connection* Service::connection(HRASCONN handle) {
    for (Connection& c : connections_)
        if (c.handle == reinterpret_cast<DWORD>(handle)) return &c;
    return nullptr;
}

DWORD Service::hangUp(HRASCONN handle) {
    Connection* c = connection(handle);
    if (!c || c->hungUp) return ERROR_INVALID_HANDLE;
    c->hungUp = true;
    c->pollsUntilGone = 2;  // the port is let go a little later, as on the real service
    return 0;
}

DWORD Service::connectStatus(HRASCONN handle, LPRASCONNSTATUSA status) {
    if (status->dwSize < kClassicStatusSize) return ERROR_INVALID_SIZE;
    Connection* c = connection(handle);
    if (!c) return ERROR_INVALID_HANDLE;
    if (c->hungUp && c->pollsUntilGone-- <= 0) {
        connections_.erase(connections_.begin() + (c - connections_.data()));
        return ERROR_INVALID_HANDLE;
    }
    status->rasconnstate = c->error || c->hungUp || c->dropped ? RASCS_Disconnected : RASCS_Connected;
    status->dwError = c->dropped && !c->hungUp ? ERROR_REMOTE_DISCONNECTION : c->error;
    lstrcpynA(status->szDeviceType, "modem", RAS_MaxDeviceType + 1);
    lstrcpynA(status->szDeviceName, "Stand-in modem", RAS_MaxDeviceName + 1);
    return 0;
}

}  // namespace rasstandin
