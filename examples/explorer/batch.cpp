// Several files moved at once on the kit's pool (see batch.h).
#include "batch.h"
#include "text.h"

namespace {

const size_t kMostNamedFailures = 20;  // a box has no scroll bar: the rest are counted

// File names as NTFS compares them: ordinal, without case.
bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// One transfer's request; what the pool fills in starts out empty.
RyKitTransfer* Added(Batch* b, RyKitTask task, const std::string& remote, const std::wstring& local,
                     const std::wstring& shown) {
    b->files.emplace_back();
    b->shown.push_back(shown);
    RyKitTransfer* t = &b->files.back();
    t->task = task;
    lstrcpynA(t->remote, remote.c_str(), sizeof t->remote);
    lstrcpynW(t->local, local.c_str(), MAX_PATH);
    return t;
}

// Why a file cannot go in the batch, or nullptr. Of two files bound for one place the
// second is not taken: the same local file for a get, the same remote name for a put (its
// bytes, or its text without case, as a Windows server compares names).
const wchar_t* Unfit(const Batch& b, const std::string& remote, const std::wstring& local,
                     const std::wstring& shown) {
    if (remote.size() > MAX_PATH) return L"the name is too long";
    if (local.size() >= MAX_PATH) return L"the local path is too long";
    for (size_t i = 0; i < b.files.size(); ++i) {
        bool same = b.task == RYKIT_TASK_GET ? SameName(b.files[i].local, local)
                                             : remote == b.files[i].remote || SameName(b.shown[i], shown);
        if (same) return L"another file of the batch has the same name";
    }
    return nullptr;
}

// A reason on one line, as a line of the box holds it (a reply may have several).
std::wstring OneLine(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
}

std::wstring ErrorText(DWORD error) { return error ? L" (error " + std::to_wstring(error) + L")" : L""; }

std::wstring Files(unsigned n) { return std::to_wstring(n) + (n == 1 ? L" file" : L" files"); }

}  // namespace

void AddGet(Batch* b, const std::string& remote, const std::wstring& shown, const std::wstring& local,
            LONGLONG size) {
    if (const wchar_t* why = Unfit(*b, remote, local, shown))
        b->notTaken.push_back(shown + L": " + why);
    else
        Added(b, RYKIT_TASK_GET, remote, local, shown)->size = size;  // the listing's: no SIZE per file
}

void AddPut(Batch* b, const std::wstring& local, const std::string& remote, const std::wstring& shown) {
    if (const wchar_t* why = Unfit(*b, remote, local, shown))
        b->notTaken.push_back(shown + L": " + why);
    else
        Added(b, RYKIT_TASK_PUT, remote, local, shown)->size = -1;  // the kit's, from the local file
}

unsigned AlreadyThere(const Batch& b) {
    unsigned there = 0;
    for (const RyKitTransfer& t : b.files)
        there += t.task == RYKIT_TASK_GET && GetFileAttributesW(t.local) != INVALID_FILE_ATTRIBUTES;
    return there;
}

void KeepAlreadyThere(Batch* b) {
    for (size_t i = b->files.size(); i-- > 0;)
        if (b->files[i].task == RYKIT_TASK_GET && GetFileAttributesW(b->files[i].local) != INVALID_FILE_ATTRIBUTES) {
            b->files.erase(b->files.begin() + i);
            b->shown.erase(b->shown.begin() + i);
            ++b->kept;
        }
}

std::wstring BatchRunningText(const Batch& b, const RyKitBatch& now) {
    std::wstring text = (b.task == RYKIT_TASK_GET ? L"Downloading " : L"Uploading ") + Files(now.count);
    if (now.connections > 1) text += L" over " + std::to_wstring(now.connections) + L" connections";
    text += L": " + std::to_wstring(now.ended - now.failed) + L" done";
    if (now.failed) text += L", " + std::to_wstring(now.failed) + L" failed";
    return text;
}

std::wstring MovedText(RyKitTask task, unsigned moved, unsigned failed, unsigned folders, unsigned kept) {
    bool get = task == RYKIT_TASK_GET;
    std::wstring text = (get ? L"Downloaded " : L"Uploaded ") + Files(moved);
    if (failed) text += L", " + std::to_wstring(failed) + L" failed";
    if (kept) text += L", kept " + std::to_wstring(kept) + L" already there";
    if (folders)
        text += L", skipped " + std::to_wstring(folders) + (folders == 1 ? L" folder" : L" folders") +
                (get ? L" (only files are downloaded)" : L" (only files are uploaded)");
    return text;
}

std::wstring BatchEndText(const Batch& b, unsigned failed) {
    return MovedText(b.task, static_cast<unsigned>(b.files.size()) - failed,
                     failed + static_cast<unsigned>(b.notTaken.size()), b.folders, b.kept);
}

std::wstring BatchFailures(const Batch& b, unsigned failed) {
    unsigned all = failed + static_cast<unsigned>(b.notTaken.size());
    if (!all) return L"";
    bool get = b.task == RYKIT_TASK_GET;
    unsigned asked = static_cast<unsigned>(b.files.size() + b.notTaken.size());
    std::wstring text = std::to_wstring(all) + L" of " + Files(asked) + L" did not " + (get ? L"download" : L"upload") +
                        L":\n";
    std::vector<std::wstring> lines = b.notTaken;
    for (size_t i = 0; i < b.files.size(); ++i)
        if (b.files[i].outcome != RYKIT_RECEIVED) lines.push_back(b.shown[i] + L": " + OneLine(WhyNot(b.files[i])));
    for (size_t i = 0; i < lines.size() && i < kMostNamedFailures; ++i) text += L"\n" + lines[i];
    if (lines.size() > kMostNamedFailures)
        text += L"\n... and " + std::to_wstring(lines.size() - kMostNamedFailures) + L" more";
    if (get) text += L"\n\nA file already there is kept.";
    return text;
}

std::wstring WhyNotSent(RyKitOutcome outcome, const RyKitSend& sent) {
    if (sent.reply[0]) return ReplyText(sent.reply);
    switch (outcome) {
    case RYKIT_NO_LOCAL:
    case RYKIT_NOT_READ: return L"it could not be read" + ErrorText(sent.error);
    case RYKIT_CANCELLED: return L"cancelled";
    default: return L"no reply from the server" + ErrorText(sent.error);
    }
}

std::wstring WhyNotReceived(const RyKitTransfer& t) {
    const RyKitReceive& r = t.receive;
    switch (t.outcome) {
    case RYKIT_NO_PART:
    case RYKIT_NOT_WRITTEN:
    case RYKIT_NOT_RENAMED: return L"it could not be written here" + ErrorText(r.error);
    case RYKIT_INCOMPLETE: return L"fewer bytes came than the server announced";
    case RYKIT_TOO_LONG: return L"more bytes came than the server announced";
    case RYKIT_CANCELLED: return L"cancelled";
    default: return r.reply[0] ? ReplyText(r.reply) : L"no reply from the server" + ErrorText(r.error);
    }
}

std::wstring WhyNot(const RyKitTransfer& t) {
    if (t.reply[0]) return ReplyText(t.reply);  // no connection was left for it
    return t.task == RYKIT_TASK_PUT ? WhyNotSent(t.outcome, t.send) : WhyNotReceived(t);
}
