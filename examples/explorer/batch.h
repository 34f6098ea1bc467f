// Several files moved at once, on the host kit's pool (RyKitPoolRun): the list of transfers
// as the Explorer hands it over, and what the status bar and the one box at the end say of
// it. The window's side (the folder, the question, the bar) is in explorer.cpp.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "ryinet_kit.h"

struct Batch {
    explicit Batch(RyKitTask task) : task(task) {}
    RyKitTask task;                       // RYKIT_TASK_GET or RYKIT_TASK_PUT, for every file
    std::vector<RyKitTransfer> files;     // what the pool runs
    std::vector<std::wstring> shown;      // each file's name as the window shows it
    std::vector<std::wstring> notTaken;   // "name: why" of those the pool never saw
    unsigned folders = 0;                 // skipped: only files are moved
    unsigned kept = 0;                    // skipped: already there, and the user kept them
};

// A remote file (the server's bytes) into local, held to the size the listing gave. Two
// files bound for one local file would write it at once: the second is not taken (local
// names compared without case, as NTFS does), nor is a name or path longer than a
// transfer holds.
void AddGet(Batch* b, const std::string& remote, const std::wstring& shown, const std::wstring& local,
            LONGLONG size);
// A local file as remote (the server's bytes), on the same terms for the remote name.
void AddPut(Batch* b, const std::wstring& local, const std::string& remote, const std::wstring& shown);

// How many downloads would replace a local file; KeepAlreadyThere drops them from the batch.
unsigned AlreadyThere(const Batch& b);
void KeepAlreadyThere(Batch* b);

// The status bar while the batch runs: "Downloading 12 files over 4 connections: 3 done".
std::wstring BatchRunningText(const Batch& b, const RyKitBatch& now);
// The status bar once files were moved, one of them or a batch:
// "Uploaded 2 files, 1 failed, skipped 1 folder (only files are uploaded)".
std::wstring MovedText(RyKitTask task, unsigned moved, unsigned failed, unsigned folders, unsigned kept);
// The same, for a batch after the pool returned failed.
std::wstring BatchEndText(const Batch& b, unsigned failed);
// The one box at the end: each file that did not move, and why; "" when all did.
std::wstring BatchFailures(const Batch& b, unsigned failed);

// Why a file did not go, or did not come: the server's reply where there is one.
std::wstring WhyNotSent(RyKitOutcome outcome, const RyKitSend& sent);
std::wstring WhyNotReceived(const RyKitTransfer& t);
std::wstring WhyNot(const RyKitTransfer& t);  // a batch's, either way
