// GetFiles and PutFiles: many files at once on the host kit's pool, which runs them over
// Parallel connections, each file through the receive and send GetFile and PutFile use
// (the partial, the retries going on from the byte they had). Names from a listing are the
// server's: one becomes a local file only when the kit's RyKitUnsafeLocalName finds nothing against it.
#include <algorithm>
#include <set>
#include <vector>
#include "automation_error.h"
#include "box_capture.h"
#include "ryinet_listing.h"
#include "session.h"

namespace {
std::wstring Number(size_t n) { return std::to_wstring(n); }

// Windows' names ignore case: two listed names that differ only in it would be one file,
// written by two connections at once.
std::wstring Folded(std::wstring name) {
    if (!name.empty()) CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

std::wstring FolderPrefix(const std::wstring& folder) {
    bool ends = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    return folder.empty() || ends ? folder : folder + L'\\';
}
}  // namespace

struct Session::Batch {
    Batch(Session* s, bool r) : session(s), receiving(r) {}
    Session* session;
    bool receiving;
    std::vector<RyKitTransfer> files;
    std::vector<std::wstring> names;  // each file as the error names it
    unsigned refused = 0;             // files that never reached the pool
    bool haveFirst = false, cancelled = false, lastRaised = false;
    Failure first = {S_OK, L""};      // the first failure, in the order files ended
    std::wstring firstName, said;

    RyKitTransfer& Add(RyKitTask task, const std::wstring& name, const std::string& remote,
                       const std::wstring& local, LONGLONG size) {
        files.emplace_back();
        RyKitTransfer& t = files.back();
        t.task = task;
        lstrcpynA(t.remote, remote.c_str(), sizeof t.remote);
        lstrcpynW(t.local, local.c_str(), MAX_PATH);
        t.size = size;
        names.push_back(name);
        return t;
    }
    void Failed(const std::wstring& name, const Failure& f) {
        if (haveFirst) return;
        haveFirst = true;
        first = f;
        firstName = name;
    }
    void Refuse(const std::wstring& name, const Failure& f) {
        ++refused;
        Failed(name, f);
    }
};

Session::Failure Session::BatchFailure(const Batch& batch, size_t index) const {
    const RyKitTransfer& t = batch.files[index];
    // t.reply is the pool's own ("no connection is left"); else the file's connection's.
    std::string reply = t.reply[0] ? t.reply : batch.receiving ? t.receive.reply : t.send.reply;
    if (batch.receiving)
        return ReceiveFailure(t.outcome, t.receive, batch.names[index], t.local, L"Unable to open file.", reply);
    return SendFailure(t.outcome, t.send, t.local, reply);
}

int Session::OnBatchProgress(void* context, const RyKitBatch* b) {
    Batch* batch = static_cast<Batch*>(context);
    Session* s = batch->session;
    DWORD now = GetTickCount();
    // The pool tells each file's end too: at most a few events a second, and the last once.
    bool last = b->ended == b->count;
    if (!s->events_.Connected() ||
        (s->eventRaised_ && (last ? batch->lastRaised : now - s->lastEvent_ < kEventEveryMs)))
        return 0;
    s->eventRaised_ = true;
    s->lastEvent_ = now;
    batch->lastRaised = last;
    RyKitWatchdogWaitForUser(&s->watchdog_, 1);
    bool cancel = s->events_.Raise(static_cast<double>(b->bytes), static_cast<double>(b->total));
    RyKitWatchdogWaitForUser(&s->watchdog_, 0);
    batch->cancelled = batch->cancelled || cancel;
    return cancel ? 1 : 0;
}

void Session::OnTransferEnded(void* context, RyKitTransfer* t) {
    Batch* batch = static_cast<Batch*>(context);
    size_t index = static_cast<size_t>(t - batch->files.data());
    if (t->outcome != RYKIT_RECEIVED && !batch->haveFirst)
        batch->Failed(batch->names[index], batch->session->BatchFailure(*batch, index));
}

void Session::OnPoolSays(void* context, const char* text) {
    Batch* batch = static_cast<Batch*>(context);
    batch->said = batch->session->FromServer(text, lstrlenA(text));  // it quotes the server's reply
}

HRESULT Session::RunBatch(Batch& batch, LONG* files) {
    RyKitPool pool = {Link(), parallel_, &Session::OnBatchProgress, &Session::OnTransferEnded, &Session::OnPoolSays,
                      &batch};
    unsigned count = static_cast<unsigned>(batch.files.size());
    eventRaised_ = false;
    BoxCapture boxes(showBoxes_);  // the pool opens files without boxes; any other is answered as chosen
    unsigned failed = count ? RyKitPoolRun(&pool, batch.files.data(), count) : 0;
    *files = static_cast<LONG>(count - failed);
    if (!failed && !batch.refused) return S_OK;
    size_t all = count + batch.refused;
    const wchar_t* done = batch.receiving ? L"received" : L"sent";
    if (batch.cancelled)
        return RaiseError(RYINET_E_CANCELLED, L"The transfer of the files was cancelled: " + Number(count - failed) +
                                                  L" of " + Number(all) + L" were " + done + L".");
    // Files the pool began no more of are told to no callback: the first of them is the one.
    for (size_t i = 0; i < count && !batch.haveFirst; ++i)
        if (batch.files[i].outcome != RYKIT_RECEIVED) batch.Failed(batch.names[i], BatchFailure(batch, i));
    std::wstring text = Number(failed + batch.refused) + L" of " + Number(all) + L" files could not be " + done +
                        L"; the first, " + batch.firstName + L": " + batch.first.text;
    if (!batch.said.empty()) text += L"\r\n" + batch.said;
    return RaiseError(batch.first.hr, text);
}

STDMETHODIMP Session::GetFiles(BSTR pattern, BSTR localFolder, LONG* files) {
    if (!files) return E_POINTER;
    *files = 0;
    return Run(true, [&]() -> HRESULT {
        std::wstring folder(localFolder ? localFolder : L"");
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Raise(LocalFileFailure(attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY,
                                          L"The local folder could not be used:", folder));
        std::string listed, text;
        HRESULT hr;
        if (FAILED(hr = ServerText(pattern, listed)) || FAILED(hr = Listing(pattern, text))) return hr;
        // "pub/*.bin" lists names inside pub/: the remote path of each is that part and the name.
        std::string remoteDirectory = listed.substr(0, listed.rfind('/') + 1);
        std::wstring shown(pattern ? pattern : L"");
        shown.resize(shown.rfind(L'/') + 1);
        folder = FolderPrefix(folder);
        Batch batch(this, true);
        std::set<std::wstring> taken;
        const char* cursor = text.c_str();
        RyListingEntry e;
        while (RyListingNext(&cursor, &e) == 1) {
            std::wstring name = FromServer(e.name, e.nameLength);
            if (e.isDirectory || RyKitUnsafeLocalName(name.c_str()) || !taken.insert(Folded(name)).second) continue;
            std::wstring local = folder + name;
            std::string remote = remoteDirectory + std::string(e.name, e.nameLength);
            if (local.size() >= MAX_PATH)
                batch.Refuse(shown + name,
                             LocalFileFailure(ERROR_FILENAME_EXCED_RANGE, L"The local path is too long:", local));
            else if (remote.size() > MAX_PATH)
                batch.Refuse(shown + name, {RYINET_E_NAME, L"The remote path is longer than " + Number(MAX_PATH) +
                                                               L" bytes."});
            else  // the listing's size: no SIZE goes for each file
                batch.Add(RYKIT_TASK_GET, shown + name, remote, local, static_cast<LONGLONG>(e.size));
        }
        return RunBatch(batch, files);
    });
}

STDMETHODIMP Session::PutFiles(BSTR localPattern, BSTR remoteFolder, LONG* files) {
    if (!files) return E_POINTER;
    *files = 0;
    return Run(true, [&]() -> HRESULT {
        std::string folder;
        HRESULT hr = ServerText(remoteFolder, folder);
        if (FAILED(hr)) return hr;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        std::wstring pattern(localPattern ? localPattern : L"");
        std::wstring directory = pattern.substr(0, pattern.find_last_of(L"\\/") + 1);
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(pattern.c_str(), &found);
        DWORD error = find == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)  // that one: nothing matched
            return Raise(LocalFileFailure(error, L"The local files could not be listed:", pattern));
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found))
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        std::sort(names.begin(), names.end());  // the file system's order is its own
        Batch batch(this, false);
        for (const std::wstring& name : names) {
            std::wstring local = directory + name;
            std::string bytes(name.size() * 3 + 1, '\0');
            bytes.resize(RyKitNameToServer(&names_, name.c_str(), &bytes[0], bytes.size()));
            if (bytes.empty())
                batch.Refuse(name, {RYINET_E_NAME, L"The name cannot be sent to the server in " +
                                                       std::wstring(RyKitNamesAreUtf8(&names_) ? L"UTF-8."
                                                                                               : L"its ANSI code page.")});
            else if (local.size() >= MAX_PATH)
                batch.Refuse(name, LocalFileFailure(ERROR_FILENAME_EXCED_RANGE, L"The local path is too long:", local));
            else if (folder.size() + bytes.size() > MAX_PATH)
                batch.Refuse(name, {RYINET_E_NAME, L"The remote path is longer than " + Number(MAX_PATH) + L" bytes."});
            else
                batch.Add(RYKIT_TASK_PUT, name, folder + bytes, local, -1);
        }
        return RunBatch(batch, files);
    });
}
