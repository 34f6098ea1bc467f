// A phonebook service standing in for the Remote Access Service (the platform's own lists
// nothing and fails every dial): RYINET's RASAPI32 imports are patched to it. The service
// is the one behind the RASAPI32.DLL stand-in (standin/rasapi32): entries with stored
// credentials, enumeration with the two-call protocol, synchronous dials, record sizes
// checked as the real service does. Here it also records what RYINET passed and can
// misbehave on purpose.
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "iat.h"
#include "phonebook_service.h"

using PhonebookEntry = rasstandin::Entry;

class Phonebook {
public:
    Phonebook();
    ~Phonebook();
    Phonebook(const Phonebook&) = delete;
    Phonebook& operator=(const Phonebook&) = delete;

    bool installed() const;  // every RAS import of RYINET now leads here
    void add(const PhonebookEntry& entry);
    void clear();
    // Between the count call and the next, the phonebook gains these entries.
    void growAfterCount(const std::vector<PhonebookEntry>& more, bool fillWhatFits);
    // Entry names that fill their whole field, with no terminator.
    void writeUnterminatedNames(bool on);
    // A failed dial leaves a handle behind (the service's usual way), or none.
    void failedDialLeavesHandle(bool on);

    struct Observed {
        std::vector<DWORD> entryNameSizes;  // dwSize of each entry-name record received
        std::vector<DWORD> byteCounts;      // the byte count of each enumeration call
        std::vector<DWORD> dialParamSizes;  // dwSize of each dial-parameters record
        std::vector<DWORD> statusSizes;     // dwSize of each connection-status record
        std::vector<std::string> dialed;    // "entry/user/password" of each dial
        std::vector<DWORD> hungUp;          // handles hung up
        int statusPolls = 0;
        int paramReads = 0;
        bool oddDialArguments = false;      // extensions, phonebook or notifier not as RYINET must pass
    };
    const Observed& observed() const;

    // The service's own read of an entry's parameters, for tests that need a copy of what
    // RYINET receives.
    static DWORD WINAPI GetEntryDialParams(LPCSTR phonebook, void* params, LPBOOL passwordReturned);

private:
    std::vector<std::unique_ptr<ImportPatch>> patches_;
};
