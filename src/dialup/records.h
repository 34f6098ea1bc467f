// The Remote Access Service records in the fixed sizes this library speaks. The SDK's
// current RASDIALPARAMSA and RASENTRYNAMEA are larger; the service picks the layout
// from dwSize, so these are declared here rather than taken from ras.h.
#pragma once
#include <windows.h>
#include <stddef.h>
#include "ryinet.h"

// Entry, user and password: 256 characters and the terminator, the very size hosts give
// RdlParms' buffers.
const int kNameField = RYINET_CREDENTIAL_BYTES;
const int kNumberField = 129; // phone and callback numbers
const int kDomainField = 16;

struct DialParams {
    DWORD dwSize;
    CHAR szEntryName[kNameField];
    CHAR szPhoneNumber[kNumberField];
    CHAR szCallbackNumber[kNumberField];
    CHAR szUserName[kNameField];
    CHAR szPassword[kNameField];
    CHAR szDomain[kDomainField];
};
static_assert(sizeof(DialParams) == 1052, "dial parameters as of dwSize 1052");
static_assert(offsetof(DialParams, szEntryName) == 4, "layout");
static_assert(offsetof(DialParams, szPhoneNumber) == 261, "layout");
static_assert(offsetof(DialParams, szCallbackNumber) == 390, "layout");
static_assert(offsetof(DialParams, szUserName) == 519, "layout");
static_assert(offsetof(DialParams, szPassword) == 776, "layout");
static_assert(offsetof(DialParams, szDomain) == 1033, "layout");

struct EntryName {
    DWORD dwSize;
    CHAR szEntryName[kNameField];
};
static_assert(sizeof(EntryName) == 264, "entry names as of dwSize 264, also the array stride");
static_assert(offsetof(EntryName, szEntryName) == 4, "layout");

// The classic connection-status record, only used to wait for a hang-up to finish.
struct ConnStatus {
    DWORD dwSize;
    DWORD rasconnstate;
    DWORD dwError;
    CHAR szDeviceType[17];
    CHAR szDeviceName[129];
};
static_assert(sizeof(ConnStatus) == 160, "connection status as of dwSize 160");
