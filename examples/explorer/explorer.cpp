// The RYINET Explorer's main window: a connect bar, a path bar with the actions, a report
// list of the remote directory, a status bar, and the Dial-up menu. Every RYINET call
// gets this window as owner, so a box the library shows is modal to it. The window is a
// Unicode one (the W calls, UTF-16 text): a name in any script shows as itself, and the
// server's bytes are met only where they cross (text.h).
#include "explorer.h"
#include <commctrl.h>
#include <commdlg.h>
#include <ras.h>
#include <shellapi.h>
#include <wininet.h>
#include <string.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>
#include "ryinet_kit.h"
#include "batch.h"
#include "local_files.h"
#include "ryinet_listing.h"
#include "text.h"

namespace {

const wchar_t kClass[] = L"RyinetExplorer";
const int kMargin = 6, kRowHeight = 24;
const ULONGLONG kLargeFile = 1 << 20;  // transfers from this size show a progress bar at once,
const ULONGLONG kSlowMs = 500;          // any other one that has run this long (a slow line)
const size_t kMostEntries = 1000000;    // address space is reserved for this many records

// The two bars above the list, as rows of controls; width 0 takes what the row leaves.
struct Slot {
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style;
    int id;
    int width;
};
const DWORD kLabel = SS_RIGHT | SS_CENTERIMAGE, kEdit = ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER;
const DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
const Slot kConnectBar[] = {
    {L"STATIC", L"Server:", kLabel, 0, 44},      {L"EDIT", L"", kEdit, IDC_SERVER, 0},
    {L"STATIC", L"User:", kLabel, 0, 34},        {L"EDIT", L"", kEdit, IDC_USER, 110},
    {L"STATIC", L"Password:", kLabel, 0, 56},    {L"EDIT", L"", kEdit | ES_PASSWORD, IDC_PASSWORD, 110},
    {L"BUTTON", L"&Connect", BS_DEFPUSHBUTTON | WS_TABSTOP, IDC_CONNECT, 84},
};
const Slot kPathBar[] = {
    {L"STATIC", L"Path:", kLabel, 0, 44},        {L"EDIT", L"", kEdit | ES_READONLY, IDC_PATH, 0},
    {L"BUTTON", L"&Up", kButton, IDC_UP, 40},    {L"BUTTON", L"Re&fresh", kButton, IDC_REFRESH, 64},
    {L"BUTTON", L"&New folder", kButton, IDC_NEWFOLDER, 80},
    {L"BUTTON", L"&Rename", kButton, IDC_RENAME, 64}, {L"BUTTON", L"&Delete", kButton, IDC_DELETE, 60},
    {L"BUTTON", L"Do&wnload", kButton, IDC_DOWNLOAD, 76}, {L"BUTTON", L"Up&load", kButton, IDC_UPLOAD, 64},
};
const int kActions[] = {IDC_UP, IDC_REFRESH, IDC_NEWFOLDER, IDC_RENAME, IDC_DELETE, IDC_DOWNLOAD, IDC_UPLOAD};

struct Row {
    std::string name;           // the server's bytes: what goes back when the row is acted on
    std::wstring text;          // the name decoded; shown through Printable
    std::wstring size, modified;
    bool directory;
    unsigned long bytes;  // the low 32 bits of the size, as listed
    ULONGLONG when;       // the date as one number that sorts as the date does
};

// RyFtpDir and RyRasEnumE write all they have into a buffer whose size they are never
// told; a result past the reservation stops the program before memory is overwritten.
void StopBeforeOverwrite(void*, size_t) {
    FatalAppExitW(0, L"The listing is larger than the RYINET Explorer can hold.");
}

struct Explorer {
    HWND wnd = nullptr, list = nullptr, status = nullptr, progress = nullptr;
    std::vector<HWND> connectBar, pathBar;
    HMENU dialMenu = nullptr;
    HACCEL keys = nullptr;
    int folderIcon = 0, fileIcon = 0;
    DWORD session = 0, connection = 0;  // ours to close: the connection, then the session
    RyKitNames names = {};              // how the connected server writes its names
    RyKitBuffer results = {};           // for RyFtpDir and RyRasEnumE
    std::vector<Row> rows;              // what the list shows, directories first
    int sortColumn = 0;                 // name, size or modified
    bool sortUp = true;
    std::vector<std::string> entries;   // the phonebook as the Dial-up menu last showed it (ANSI)
    std::string entry, user;            // the chosen entry, its stored user name (ANSI), and
    bool passwordSaved = false;         // whether a password is stored with it
    HRASCONN dial = nullptr;            // the dial-up connection we made, until hung up
    bool passive = true;                // the next connection's mode (View > Passive mode)
    RyKitWatchdog watchdog;             // ends a call that hangs (View > Time limits)
    RyKitLink link;                     // how to open the connection again when a transfer breaks
    ULONGLONG transferBegan = 0;        // the running transfer's start (GetTickCount64)
    Batch* batch = nullptr;             // the files moving at once, while the pool runs them
    ULONGLONG heldUntil = 0;            // the kit's word stays in the status bar until then
    bool guarding = false;              // an action runs under it
};

// The watchdog takes the handles from its own thread when it ends a call.
volatile LONG* Taken(DWORD* handle) {
    static_assert(sizeof(DWORD) == sizeof(LONG), "a handle is one LONG");
    return reinterpret_cast<volatile LONG*>(handle);
}

// A question, a dialog: the user's time is no lack of progress.
struct UserTime {
    explicit UserTime(Explorer* e) : w(&e->watchdog) { RyKitWatchdogWaitForUser(w, 1); }
    ~UserTime() { RyKitWatchdogWaitForUser(w, 0); }
    RyKitWatchdog* w;
};

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND w = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return w;
}

std::wstring TextOf(HWND w) {
    std::wstring s(GetWindowTextLengthW(w) + 1, L'\0');
    s.resize(GetWindowTextW(w, &s[0], static_cast<int>(s.size())));
    return s;
}

void SetStatus(Explorer* e, int part, const std::wstring& text) {
    SendMessageW(e->status, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text.c_str()));
}

// A box of the window's own, about what went wrong; the user's time reading it is no
// lack of progress.
void Warn(Explorer* e, const std::wstring& text, const wchar_t* caption) {
    UserTime reading(e);
    MessageBoxW(e->wnd, text.c_str(), caption, MB_OK | MB_ICONWARNING);
}

// A name the user typed, as the server's bytes; a box says so when the server's code
// page cannot hold it.
bool ToServer(Explorer* e, const std::wstring& name, const wchar_t* caption, std::string* bytes) {
    if (ServerName(e->names, name, bytes)) return true;
    Warn(e, L"The server's code page cannot hold the name \"" + Printable(name) + L"\".", caption);
    return false;
}

// ---- Listing ------------------------------------------------------------------------

// Every name is seen before any is decoded: one that is not UTF-8 says how all of them
// are written.
std::vector<Row> RowsOf(const char* listing, RyKitNames* names) {
    RyListingEntry e;
    for (const char* cursor = listing; RyListingNext(&cursor, &e) == 1;) RyKitNamesSaw(names, e.name, e.nameLength);
    std::vector<Row> rows;
    for (const char* cursor = listing; RyListingNext(&cursor, &e) == 1;) {
        std::string name(e.name, e.nameLength);
        if (name == "." || name == "..") continue;  // Up is the way to the parent
        WCHAR date[32] = L"";                        // none for a time outside the calendar
        if (e.year) wsprintfW(date, L"%02u/%02u/%u  %02u:%02u", e.month, e.day, e.year, e.hour, e.minute);
        ULONGLONG when = (((e.year * 100ull + e.month) * 100 + e.day) * 100 + e.hour) * 100 + e.minute;
        rows.push_back({name, NameText(*names, e.name, e.nameLength), e.isDirectory ? L"" : std::to_wstring(e.size),
                        date, e.isDirectory != 0, e.size, when});
    }
    return rows;
}

// Directories first, as every file list in Windows keeps them; then by the sort column,
// equal rows by name.
void SortRows(Explorer* e) {
    int column = e->sortColumn;
    bool up = e->sortUp;
    std::stable_sort(e->rows.begin(), e->rows.end(), [column, up](const Row& a, const Row& b) {
        if (a.directory != b.directory) return a.directory;
        int order = column == 1 ? (a.bytes > b.bytes) - (a.bytes < b.bytes)
                    : column == 2 ? (a.when > b.when) - (a.when < b.when) : 0;
        if (order == 0) order = lstrcmpiW(a.text.c_str(), b.text.c_str());
        return up ? order < 0 : order > 0;
    });
    HWND header = ListView_GetHeader(e->list);
    for (int i = 0; i < Header_GetItemCount(header); ++i) {
        HDITEMW item = {HDI_FORMAT};
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column) item.fmt |= up ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

// The row of the server's name (its bytes), or -1.
int IndexOf(Explorer* e, const std::string& name) {
    for (size_t i = 0; i < e->rows.size(); ++i)
        if (e->rows[i].name == name) return static_cast<int>(i);
    return -1;
}

const Row* Selected(Explorer* e) {
    int i = ListView_GetNextItem(e->list, -1, LVNI_SELECTED);
    return i >= 0 && i < static_cast<int>(e->rows.size()) ? &e->rows[i] : nullptr;
}

// Every selected row, in the list's order.
std::vector<size_t> SelectedRows(Explorer* e) {
    std::vector<size_t> rows;
    for (int i = -1; (i = ListView_GetNextItem(e->list, i, LVNI_SELECTED)) >= 0;)
        if (i < static_cast<int>(e->rows.size())) rows.push_back(static_cast<size_t>(i));
    return rows;
}

// Reads the remote directory and its listing again; an empty directory lists nothing
// (RyFtpDir's 1).
void Refresh(Explorer* e) {
    e->rows.clear();
    char dir[RYINET_CURDIR_BYTES] = "";
    if (e->connection) {
        RyFtpCurDir(e->connection, e->wnd, dir);
        LONG listed = RyKitBufferList(&e->results, e->connection, e->wnd, "*");
        if (listed == 0) e->rows = RowsOf(e->results.data, &e->names);
        // Not opened: an empty directory (the server listed nothing, or said 550), or a
        // listing that failed, which must not look like an empty directory.
        char reply[RYKIT_REPLY_BYTES] = "";
        bool ended = RyKitWatchdogEnding(&e->watchdog) != RYKIT_RUNNING;  // it says why itself
        if (listed != 0 && !RyKitNothingListed(reply, sizeof reply) && !ended) {
            std::wstring why = L"The listing failed: " + (reply[0] ? ReplyText(reply) : L"no reply from the server.");
            if (!e->passive) why += L"\n\nIn active mode the server connects back to this machine, which a NAT or a "
                                    L"firewall stops: try View > Passive mode.";
            SetStatus(e, 0, L"Listing failed");
            Warn(e, why, L"Refresh");
        }
        RyKitBufferDecommit(&e->results);  // the rows keep their own copies
        SortRows(e);
    }
    RyKitNamesSaw(&e->names, dir, strlen(dir));  // the path is the server's names too
    SetDlgItemTextW(e->wnd, IDC_PATH, Printable(NameText(e->names, dir, strlen(dir))).c_str());
    ListView_SetItemState(e->list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(e->list, static_cast<int>(e->rows.size()), 0);
    InvalidateRect(e->list, nullptr, TRUE);
}

// ---- Connection ---------------------------------------------------------------------

void ShowConnection(Explorer* e) {
    bool on = e->connection != 0;
    SetStatus(e, 0, on ? L"Connected to " + TextOf(GetDlgItem(e->wnd, IDC_SERVER)) : L"Not connected");
    SetStatus(e, 1, RyINetConn() ? L"Internet: online" : L"Internet: offline");
    char ip[RYINET_ADDRESS_BYTES] = "";
    SetStatus(e, 2, RyGetIp(ip, nullptr) == 0 && ip[0] ? L"IP " + FromAnsi(ip) : L"IP unknown");
    SetDlgItemTextW(e->wnd, IDC_CONNECT, on ? L"Dis&connect" : L"&Connect");
    for (int id : kActions) {
        EnableWindow(GetDlgItem(e->wnd, id), on);
        EnableMenuItem(GetMenu(e->wnd), id, on ? MF_ENABLED : MF_GRAYED);  // and their keys
    }
    for (int id : {IDC_SERVER, IDC_USER, IDC_PASSWORD}) EnableWindow(GetDlgItem(e->wnd, id), !on);
}

void Disconnect(Explorer* e, HWND owner) {
    if (e->connection) RyINetClose(e->connection, owner);
    if (e->session) RyINetClose(e->session, owner);
    e->connection = e->session = 0;
    RyKitLinkForget(&e->link);  // the password too
}

// WININET's log-in takes the ANSI code page; the password's copies are wiped once used.
void Connect(Explorer* e) {
    std::string server = Ansi(TextOf(GetDlgItem(e->wnd, IDC_SERVER)));
    std::string user = Ansi(TextOf(GetDlgItem(e->wnd, IDC_USER)));
    std::wstring typed = TextOf(GetDlgItem(e->wnd, IDC_PASSWORD));
    std::string password = Ansi(typed);
    SecureZeroMemory(&typed[0], typed.size() * sizeof typed[0]);
    RyKitWatchdogConnecting(&e->watchdog);
    e->session = RyINetOpen(e->wnd);
    char refusal[RYKIT_REPLY_BYTES] = "";
    if (e->session)
        e->connection = RyKitConnect(e->session, e->wnd, server.c_str(), user.c_str(), password.c_str(), e->passive,
                                     refusal, sizeof refusal);
    if (e->connection)  // the link keeps its own copy, to log in again after a break
        RyKitLinkLoggedIn(&e->link, server.c_str(), user.c_str(), password.c_str(), e->passive);
    SecureZeroMemory(&password[0], password.size());
    if (e->connection) RyKitNamesLearn(&e->names, e->connection);  // once, before the first listing
    if (!e->connection) Disconnect(e, e->wnd);
    if (refusal[0]) {  // the server's own word on a refused log-in
        std::wstring why = L"The server refused the log-in: " + ReplyText(refusal);
        if (RyKitWantsEncryption(refusal))
            why += L"\n\nIt asks for encryption (FTPS), which the system's internet library does not speak: "
                   L"no password will log in.";
        Warn(e, why, L"Connect");
    }
    Refresh(e);
    ShowConnection(e);
}

// ---- Remote operations ----------------------------------------------------------------

// dir is the server's bytes (a row's name, or ".."); a copy, as the rows are read again.
void ChangeDirectory(Explorer* e, std::string dir) {
    RyFSetDir(e->connection, 0, dir.c_str());  // a refusal leaves the path bar as it was
    RyKitLinkMoved(&e->link);                  // a connection opened again goes back there
    Refresh(e);
}

// The new folder gets a one-word name (the platform's listing keeps only a name's first
// word) and its label is opened for editing, which renames it.
void NewFolder(Explorer* e) {
    std::wstring text = L"NewFolder";
    std::string name;
    for (int n = 2; ToServer(e, text, L"New folder", &name) && IndexOf(e, name) >= 0; ++n)
        text = L"NewFolder" + std::to_wstring(n);
    if (name.empty()) return;
    RyFtpMd(e->connection, e->wnd, name.c_str());
    Refresh(e);
    int i = IndexOf(e, name);
    if (i < 0) return;
    SetFocus(e->list);
    ListView_EnsureVisible(e->list, i, FALSE);
    SendMessageW(e->list, LVM_EDITLABELW, i, 0);
}

// to is the label as the user left it; the row's name goes to the server as its bytes.
void Rename(Explorer* e, int index, const WCHAR* to) {
    if (!to || !*to || index < 0 || index >= static_cast<int>(e->rows.size())) return;
    std::string from = e->rows[index].name, name;
    if (Printable(e->rows[index].text) == to || !ToServer(e, to, L"Rename", &name)) return;
    RyFRenFile(e->connection, e->wnd, from.c_str(), name.c_str());
    PostMessageW(e->wnd, WM_COMMAND, IDC_REFRESH, 0);  // after the list view has ended its edit
}

void DeleteSelected(Explorer* e) {
    if (!Selected(e)) return;
    Row row = *Selected(e);  // the rows may be read again while the question is open
    std::wstring question = std::wstring(L"Delete the ") + (row.directory ? L"folder" : L"file") + L" \"" +
                            Printable(row.text) + L"\" from the server?";
    int answer;
    {
        UserTime asking(e);
        answer = MessageBoxW(e->wnd, question.c_str(), L"Delete", MB_YESNO | MB_ICONQUESTION);
    }
    if (answer != IDYES) return;
    if (row.directory)
        RyFtpRd(e->connection, e->wnd, row.name.c_str());
    else
        RyFDelFile(e->connection, e->wnd, row.name.c_str());
    Refresh(e);
}

// The progress bar, in the status bar's first part: over all of it for one file, whose
// name it hides; for a batch over its last third, beside the batch's state.
void ShowBar(Explorer* e, bool besideText) {
    if (IsWindowVisible(e->progress)) return;
    RECT r;
    SendMessageW(e->status, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    if (besideText) r.left = r.right - (r.right - r.left) / 3;
    MoveWindow(e->progress, r.left + 2, r.top + 2, r.right - r.left - 4, r.bottom - r.top - 4, TRUE);
    SendMessageW(e->progress, PBM_SETRANGE32, 0, 1000);
    ShowWindow(e->progress, SW_SHOW);
}

// The kit's progress callback (at most four times a second): a bar in the status bar for
// files from 1 MiB and for any transfer that has run half a second, by the size
// the server announced (or the local file's, sending), going on across the link's attempts.
int ShowProgress(void* context, ULONGLONG done, LONGLONG total) {
    Explorer* e = static_cast<Explorer*>(context);
    RyKitWatchdogProgress(&e->watchdog);
    if (RyKitWatchdogEnding(&e->watchdog) != RYKIT_RUNNING) return 1;
    if (total < static_cast<LONGLONG>(kLargeFile) && GetTickCount64() - e->transferBegan < kSlowMs) return 0;
    ShowBar(e, false);
    SendMessageW(e->progress, PBM_SETPOS, static_cast<WPARAM>(done * 1000 / std::max<ULONGLONG>(done, total)), 0);
    UpdateWindow(e->progress);
    return 0;
}

// The pool's progress callback (at the first bytes, at most four times a second, as each
// file ends, and at the end): one bar for the whole batch, by its bytes of the sizes known
// beforehand (the listing's, the local files') or else by the files ended, and the batch's
// state beside it, unless the kit's word is being read. The watchdog's cancel and time
// limit stop the pool through the link; a stall is a break the pool tries again, which is
// why this never cancels.
int ShowBatch(void* context, const RyKitBatch* b) {
    Explorer* e = static_cast<Explorer*>(context);
    ULONGLONG done = b->total ? std::min(b->bytes, b->total) : b->ended, all = b->total ? b->total : b->count;
    SendMessageW(e->progress, PBM_SETPOS, static_cast<WPARAM>(done * 1000 / std::max<ULONGLONG>(all, 1)), 0);
    if (GetTickCount64() < e->heldUntil) return 0;
    ShowBar(e, true);
    std::wstring text = BatchRunningText(*e->batch, *b);
    WCHAR shown[256] = L"";  // a status bar part holds no more
    if (LOWORD(SendMessageW(e->status, SB_GETTEXTLENGTHW, 0, 0)) < ARRAYSIZE(shown))
        SendMessageW(e->status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(shown));
    if (text != shown) SetStatus(e, 0, text);
    UpdateWindow(e->status);
    return 0;
}

// The kit's word to the user, painted now: the pause that may follow pumps no messages.
// The progress bar, which may cover the text, is out of the way until the next block
// arrives; in a batch, whose other files go on meanwhile, it waits as the word is read.
void ShowKitWord(Explorer* e, const std::wstring& text, DWORD readSeconds) {
    ShowWindow(e->progress, SW_HIDE);
    if (e->batch) e->heldUntil = GetTickCount64() + 1000ull * readSeconds;
    SetStatus(e, 0, text);
    UpdateWindow(e->status);
}

// The link's word before each new attempt, on any of a batch's connections too.
void ShowAttempt(void* context, unsigned attempt, unsigned retries, DWORD pauseSeconds, const char* reason) {
    ShowKitWord(static_cast<Explorer*>(context), AttemptText(attempt, retries, pauseSeconds, reason),
                std::max<DWORD>(pauseSeconds, 2));
}

// The pool's word, once: a server that refused another connection.
void ShowPoolSays(void* context, const char* text) { ShowKitWord(static_cast<Explorer*>(context), KitText(text), 3); }

void ShowDial(Explorer* e, const wchar_t* state);  // with the Dial-up menu, below

// After a transfer through the link: it may have dialed the line again (a new handle to
// hang up), or, failing to connect again, closed the connection; the window follows.
void FollowLink(Explorer* e) {
    if (e->dial != e->link.dial) {
        e->dial = e->link.dial;
        ShowDial(e, e->dial ? L"dialed again" : L"down");
    }
    if (!e->connection) {
        Refresh(e);
        ShowConnection(e);
    }
}

// The Save dialog starts with the name's text as a Windows file name may hold it. The file
// arrives as TARGET.rykit-partial and replaces TARGET only when complete, so a failed
// download keeps the file the user already had. A break is tried again (as often as View >
// Time limits says) from the byte it reached, on a connection opened anew where need be.
void DownloadFile(Explorer* e, const Row& row) {
    const std::string& name = row.name;  // the server's bytes, asked for as they came
    std::wstring shown = Printable(row.text);
    WCHAR target[MAX_PATH];
    lstrcpynW(target, LocalFileName(row.text).c_str(), MAX_PATH);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = e->wnd;
    ofn.lpstrFilter = L"All files\0*.*\0";
    ofn.lpstrFile = target;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = L"Download to";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    BOOL chosen;
    {
        UserTime choosing(e);
        chosen = GetSaveFileNameW(&ofn);
    }
    if (!chosen) return;
    RyKitReceive received;
    e->link.type = FTP_TRANSFER_TYPE_BINARY;  // a file, byte for byte
    e->transferBegan = GetTickCount64();
    RyKitOutcome outcome = RyKitLinkReceive(&e->link, name.c_str(), target, &ShowProgress, e, &received);
    ShowWindow(e->progress, SW_HIDE);
    FollowLink(e);
    if (outcome == RYKIT_NOT_OPENED || RyKitWatchdogEnding(&e->watchdog) != RYKIT_RUNNING) return;
    std::wstring why = L"Could not download \"" + shown + L"\" to " + target + L". A file already there is kept.";
    if (outcome != RYKIT_RECEIVED) Warn(e, why, L"Download");
    SetStatus(e, 0, outcome == RYKIT_RECEIVED ? L"Downloaded " + shown : L"Download failed");
}

// Runs a batch on the kit's pool over RYKIT_PARALLEL connections at most (the window's
// own among them), then says how it went: the status bar, and one box that names each file
// that did not move. Nothing more when the watchdog ended it: its own box says why.
void RunBatch(Explorer* e, Batch* batch) {
    unsigned failed = 0;
    if (!batch->files.empty()) {
        RyKitPool pool = {&e->link, RYKIT_PARALLEL, &ShowBatch, nullptr, &ShowPoolSays, e};
        e->link.type = FTP_TRANSFER_TYPE_BINARY;  // files, byte for byte
        e->batch = batch;
        e->heldUntil = 0;
        failed = RyKitPoolRun(&pool, batch->files.data(), static_cast<unsigned>(batch->files.size()));
        e->batch = nullptr;
        ShowWindow(e->progress, SW_HIDE);
        FollowLink(e);
    }
    if (RyKitWatchdogEnding(&e->watchdog) != RYKIT_RUNNING) return;
    if (batch->task == RYKIT_TASK_PUT) Refresh(e);  // to show what arrived
    SetStatus(e, 0, BatchEndText(*batch, failed));
    std::wstring failures = BatchFailures(*batch, failed);
    if (!failures.empty()) Warn(e, failures, batch->task == RYKIT_TASK_GET ? L"Download" : L"Upload");
}

// Several files into one folder, chosen once, each under its name made a Windows file name
// as the Save dialog offers a single one; one question for those already there.
void DownloadSeveral(Explorer* e, const std::vector<Row>& files, unsigned folders) {
    std::wstring title = L"Download " + std::to_wstring(files.size()) + L" files to:", folder;
    {
        UserTime choosing(e);
        folder = ChooseFolder(e->wnd, title.c_str());
    }
    if (folder.empty()) return;
    if (folder.back() != L'\\') folder += L'\\';  // a drive's root has its backslash already
    Batch batch(RYKIT_TASK_GET);
    batch.folders = folders;
    for (const Row& row : files)
        AddGet(&batch, row.name, Printable(row.text), folder + LocalFileName(row.text), row.bytes);
    if (unsigned there = AlreadyThere(batch)) {
        std::wstring question = (there == 1 ? L"One of the files is" : std::to_wstring(there) + L" of the files are") +
                                L" already in " + folder + L". Replace them?\n\nNo keeps them and downloads the rest.";
        int answer;
        {
            UserTime asking(e);
            answer = MessageBoxW(e->wnd, question.c_str(), L"Download", MB_YESNOCANCEL | MB_ICONQUESTION);
        }
        if (answer == IDCANCEL) return;
        if (answer == IDNO) KeepAlreadyThere(&batch);
    }
    RunBatch(e, &batch);
}

// The selected rows: one file through the Save dialog, several into a folder at once; the
// rows are copied, as they may be read again while a dialog is open.
void Download(Explorer* e) {
    std::vector<Row> files;
    unsigned folders = 0;
    for (size_t i : SelectedRows(e))
        if (e->rows[i].directory)
            ++folders;
        else
            files.push_back(e->rows[i]);
    if (files.size() == 1)
        DownloadFile(e, files[0]);
    else if (files.size() > 1)
        DownloadSeveral(e, files, folders);
}

// One local file, sent in binary under its own name as the server writes names, a break
// tried again as a download's is; a box owned by the window says why one did not arrive.
// True when it arrived.
bool UploadFile(Explorer* e, const std::wstring& path) {
    std::wstring name = FileNameOf(path);
    std::string remote;
    if (!ToServer(e, name, L"Upload", &remote)) return false;
    SetStatus(e, 0, L"Uploading " + name);
    UpdateWindow(e->status);
    RyKitSend sent;
    e->link.type = FTP_TRANSFER_TYPE_BINARY;
    e->transferBegan = GetTickCount64();
    RyKitOutcome outcome = RyKitLinkSend(&e->link, path.c_str(), remote.c_str(), &ShowProgress, e, &sent);
    ShowWindow(e->progress, SW_HIDE);
    FollowLink(e);
    if (outcome == RYKIT_SENT) return true;
    if (RyKitWatchdogEnding(&e->watchdog) == RYKIT_RUNNING)  // else the watchdog's box says why
        Warn(e, L"Could not upload \"" + name + L"\": " + WhyNotSent(outcome, sent), L"Upload");
    return false;
}

// Several local files at once, each under its own name as the server writes names; a name
// the server's code page cannot hold is named in the box at the end, not in one of its own.
void UploadSeveral(Explorer* e, const std::vector<std::wstring>& files, unsigned folders) {
    Batch batch(RYKIT_TASK_PUT);
    batch.folders = folders;
    for (const std::wstring& path : files) {
        std::wstring name = FileNameOf(path);
        std::string remote;
        if (ServerName(e->names, name, &remote))
            AddPut(&batch, path, remote, name);
        else
            batch.notTaken.push_back(name + L": the server's code page cannot hold the name");
    }
    RunBatch(e, &batch);
}

// The files of paths to the current remote directory: one as UploadFile sends it, several
// at once; folders are skipped, and the status bar says so. The list is read again
// afterwards to show what arrived.
void Upload(Explorer* e, const std::vector<std::wstring>& paths) {
    if (paths.empty()) return;
    std::vector<std::wstring> files;
    unsigned folders = 0;
    for (const std::wstring& path : paths)
        if (IsFolder(path))
            ++folders;
        else
            files.push_back(path);
    if (files.size() > 1) {
        UploadSeveral(e, files, folders);
        return;
    }
    unsigned sent = !files.empty() && UploadFile(e, files[0]);
    Refresh(e);
    SetStatus(e, 0, MovedText(RYKIT_TASK_PUT, sent, static_cast<unsigned>(files.size()) - sent, folders, 0));
}

void UploadChosen(Explorer* e) {
    std::vector<std::wstring> paths;
    {
        UserTime choosing(e);
        paths = ChooseFiles(e->wnd, L"Upload");
    }
    Upload(e, paths);
}

// ---- Dial-up --------------------------------------------------------------------------

void ShowDial(Explorer* e, const wchar_t* state) {
    std::wstring text = L"Dial-up: ";
    if (e->entry.empty())
        text += L"no entry chosen";
    else if (*state)
        text += FromAnsi(e->entry) + L" " + state;
    else
        text += FromAnsi(e->entry) + L" (user " + FromAnsi(e->user) + L", password " +
                (e->passwordSaved ? L"saved" : L"none") + L")";
    SetStatus(e, kDialStatusPart, text);
}

void FillDialMenu(Explorer* e) {
    while (GetMenuItemCount(e->dialMenu) > 0) DeleteMenu(e->dialMenu, 0, MF_BYPOSITION);
    e->entries.clear();
    RyKitBufferPhonebook(&e->results);
    size_t length;
    for (const char *cursor = e->results.data, *name; RyKitNextName(&cursor, &name, &length);)
        e->entries.emplace_back(name, length);
    RyKitBufferDecommit(&e->results);
    for (size_t i = 0; i < e->entries.size(); ++i)
        AppendMenuW(e->dialMenu, MF_STRING | (e->entries[i] == e->entry ? MF_CHECKED : 0),
                    IDM_ENTRY + i, FromAnsi(e->entries[i]).c_str());
    if (e->entries.empty()) AppendMenuW(e->dialMenu, MF_STRING | MF_GRAYED, 0, L"(no phonebook entries)");
    AppendMenuW(e->dialMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(e->dialMenu, MF_STRING | (e->entry.empty() || e->dial ? MF_GRAYED : 0), IDM_DIAL, L"&Dial");
    AppendMenuW(e->dialMenu, MF_STRING | (e->dial ? 0 : MF_GRAYED), IDM_HANGUP, L"&Hang up");
}

// The stored password is read only to dial and is wiped right after; the window keeps
// only whether there is one.
void ChooseEntry(Explorer* e, size_t index) {
    e->entry = e->entries[index];
    RyKitCredentials stored;
    RyKitReadCredentials(&stored, e->entry.c_str());
    e->user = stored.user;
    e->passwordSaved = stored.passwordSaved != 0;
    RyKitWipeCredentials(&stored);
    ShowDial(e, L"");
}

void HangUp(Explorer* e) {
    if (!e->dial) return;
    RyKitHangUp(e->dial);
    e->dial = nullptr;
    RyKitLinkDialed(&e->link, "", "", "", nullptr);  // a break is no reason to dial again now
}

void Dial(Explorer* e) {
    if (e->entry.empty() || e->dial) return;
    RyKitCredentials stored;
    RyKitReadCredentials(&stored, e->entry.c_str());
    ShowDial(e, L"dialing...");
    UpdateWindow(e->status);
    DWORD handle = RyRasDial(e->wnd, e->entry.c_str(), stored.user, stored.password);
    e->dial = reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(handle));
    RyKitLinkDialed(&e->link, e->entry.c_str(), stored.user, stored.password, e->dial);  // to dial a dropped line again
    RyKitWipeCredentials(&stored);
    ShowDial(e, e->dial ? L"connected" : L"dial failed");
    ShowConnection(e);
}

// ---- Window ---------------------------------------------------------------------------

void LayOutRow(const std::vector<HWND>& controls, const Slot* slots, int y, int width) {
    int fixed = kMargin;
    for (size_t i = 0; i < controls.size(); ++i) fixed += slots[i].width + kMargin;
    int x = kMargin;
    for (size_t i = 0; i < controls.size(); ++i) {
        int w = slots[i].width ? slots[i].width : std::max(60, width - fixed);
        MoveWindow(controls[i], x, y, w, kRowHeight - 2, TRUE);
        x += w + kMargin;
    }
}

void LayOut(Explorer* e, int width, int height) {
    LayOutRow(e->connectBar, kConnectBar, kMargin, width);
    LayOutRow(e->pathBar, kPathBar, kMargin + kRowHeight + 4, width);
    SendMessageW(e->status, WM_SIZE, 0, 0);
    int parts[4] = {std::max(60, width - 440), std::max(120, width - 330), std::max(180, width - 220), -1};
    SendMessageW(e->status, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(parts));
    RECT bar;
    GetWindowRect(e->status, &bar);
    int top = kMargin + 2 * kRowHeight + 10;
    MoveWindow(e->list, 0, top, width, std::max(0, height - top - int(bar.bottom - bar.top)), TRUE);
}

std::vector<HWND> CreateRow(HWND parent, const Slot* slots, size_t count) {
    std::vector<HWND> controls;
    for (size_t i = 0; i < count; ++i)
        controls.push_back(Child(parent, slots[i].cls, slots[i].text, slots[i].style, slots[i].id));
    return controls;
}

int ShellIcon(const wchar_t* name, DWORD attributes, HIMAGELIST* list) {
    SHFILEINFOW info = {};
    *list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
        name, attributes, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
    return info.iIcon;
}

void CreateChildren(Explorer* e) {
    e->connectBar = CreateRow(e->wnd, kConnectBar, ARRAYSIZE(kConnectBar));
    e->pathBar = CreateRow(e->wnd, kPathBar, ARRAYSIZE(kPathBar));
    e->list = Child(e->wnd, WC_LISTVIEWW, L"",
                    LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_EDITLABELS |
                        LVS_SHAREIMAGELISTS | WS_TABSTOP | WS_BORDER,
                    IDC_LIST);
    ListView_SetExtendedListViewStyle(e->list, LVS_EX_FULLROWSELECT);
    const struct { const wchar_t* title; int width, format; } columns[] = {
        {L"Name", 320, LVCFMT_LEFT}, {L"Size", 100, LVCFMT_RIGHT}, {L"Modified", 140, LVCFMT_LEFT}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW c = {};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        c.pszText = const_cast<wchar_t*>(columns[i].title);
        c.cx = columns[i].width;
        c.fmt = columns[i].format;
        SendMessageW(e->list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
    }
    HIMAGELIST icons = nullptr;  // the shell's own list: shared, never destroyed here
    e->folderIcon = ShellIcon(L"folder", FILE_ATTRIBUTE_DIRECTORY, &icons);
    e->fileIcon = ShellIcon(L"file", FILE_ATTRIBUTE_NORMAL, &icons);
    ListView_SetImageList(e->list, icons, LVSIL_SMALL);
    e->status = Child(e->wnd, STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP, IDC_STATUS);
    e->progress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, e->status,
                                  reinterpret_cast<HMENU>(IDC_PROGRESS), GetModuleHandleW(nullptr), nullptr);
    e->dialMenu = GetSubMenu(GetMenu(e->wnd), kDialMenuPosition);
}

// The watchdog ended the action: its connection is closed; say which limit it was.
void Ended(Explorer* e, RyKitEnding how) {
    Disconnect(e, e->wnd);
    Refresh(e);
    ShowConnection(e);
    std::wstring why = how == RYKIT_OVER_TIME
                           ? L"The call ran for " + std::to_wstring(e->watchdog.maxTimeSeconds) + L" s, its time limit."
                           : L"The server made no progress for " + std::to_wstring(e->watchdog.timeoutSeconds) + L" s.";
    Warn(e, why + L" The connection is closed.", L"Time limits");
}

// Runs a call (or several) under the watchdog. A control's notification sent while an
// action runs (the path bar's EN_CHANGE, say) belongs to that action's guard.
template <typename Call>
void Guarded(Explorer* e, Call call) {
    if (e->guarding) {
        call();
        return;
    }
    e->guarding = true;
    RyKitWatchdogBegin(&e->watchdog);
    call();
    RyKitEnding how = RyKitWatchdogFinish(&e->watchdog);
    e->guarding = false;
    if (how != RYKIT_RUNNING) Ended(e, how);
}

LRESULT OnNotify(Explorer* e, NMHDR* nm) {
    if (nm->idFrom != IDC_LIST) return 0;
    switch (nm->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(nm)->item;
        if (item.iItem < 0 || item.iItem >= static_cast<int>(e->rows.size())) break;
        const Row& row = e->rows[item.iItem];
        if (item.mask & LVIF_TEXT) {
            std::wstring text = item.iSubItem == 0 ? Printable(row.text) : item.iSubItem == 1 ? row.size : row.modified;
            lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
        }
        if (item.mask & LVIF_IMAGE) item.iImage = row.directory ? e->folderIcon : e->fileIcon;
        break;
    }
    case LVN_ITEMACTIVATE: {  // double-click
        int i = reinterpret_cast<NMITEMACTIVATE*>(nm)->iItem;
        if (i >= 0 && i < static_cast<int>(e->rows.size()) && e->rows[i].directory)
            ChangeDirectory(e, e->rows[i].name);
        break;
    }
    case LVN_ENDLABELEDITW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(nm)->item;
        Guarded(e, [&] { Rename(e, item.iItem, item.pszText); });
        return FALSE;  // the refresh shows what the server did
    }
    case LVN_COLUMNCLICK: {  // the same column again turns the order round
        int column = reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem;
        e->sortUp = column != e->sortColumn || !e->sortUp;
        e->sortColumn = column;
        std::set<std::string> selected;  // by name: the rows move
        for (size_t i : SelectedRows(e)) selected.insert(e->rows[i].name);
        SortRows(e);
        ListView_SetItemState(e->list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        UINT focus = LVIS_FOCUSED;  // on the first of them
        for (int i = 0; i < static_cast<int>(e->rows.size()); ++i)
            if (selected.count(e->rows[i].name)) {
                ListView_SetItemState(e->list, i, LVIS_SELECTED | focus, LVIS_SELECTED | LVIS_FOCUSED);
                focus = 0;
            }
        InvalidateRect(e->list, nullptr, TRUE);
        break;
    }
    }
    return 0;
}

void Act(Explorer* e, int id) {
    bool connected = e->connection != 0;
    switch (id) {
    case IDOK:  // Enter, through IsDialogMessage: connect, or open the selected folder
        if (!connected)
            Connect(e);
        else if (GetFocus() == e->list && Selected(e) && Selected(e)->directory)
            ChangeDirectory(e, Selected(e)->name);
        return;
    case IDC_CONNECT:
        if (connected) {
            Disconnect(e, e->wnd);
            Refresh(e);
            ShowConnection(e);
        } else {
            Connect(e);
        }
        return;
    case IDM_PASSIVE:
        e->passive = !e->passive;
        CheckMenuItem(GetMenu(e->wnd), IDM_PASSIVE, e->passive ? MF_CHECKED : MF_UNCHECKED);
        return;
    case IDM_DIAL: Dial(e); return;
    case IDM_HANGUP:
        HangUp(e);
        ShowDial(e, L"hung up");
        return;
    }
    if (id >= IDM_ENTRY && id - IDM_ENTRY < static_cast<int>(e->entries.size())) ChooseEntry(e, id - IDM_ENTRY);
    if (!connected) return;
    const Row* row = Selected(e);
    switch (id) {
    case IDC_UP: ChangeDirectory(e, ".."); break;
    case IDC_REFRESH: Refresh(e); break;
    case IDC_NEWFOLDER: NewFolder(e); break;
    case IDC_RENAME:
        if (row) {
            SetFocus(e->list);
            SendMessageW(e->list, LVM_EDITLABELW, static_cast<WPARAM>(row - e->rows.data()), 0);
        }
        break;
    case IDC_DELETE: DeleteSelected(e); break;
    case IDC_DOWNLOAD: Download(e); break;
    case IDC_UPLOAD: UploadChosen(e); break;
    }
}

INT_PTR CALLBACK TimeLimitsProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    Explorer* e = reinterpret_cast<Explorer*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        e = reinterpret_cast<Explorer*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemInt(dialog, IDC_TIMEOUT, e->watchdog.timeoutSeconds, FALSE);
        SetDlgItemInt(dialog, IDC_MAXTIME, e->watchdog.maxTimeSeconds, FALSE);
        SetDlgItemInt(dialog, IDC_RETRIES, e->link.retries, FALSE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            e->watchdog.timeoutSeconds = GetDlgItemInt(dialog, IDC_TIMEOUT, nullptr, FALSE);
            e->watchdog.maxTimeSeconds = GetDlgItemInt(dialog, IDC_MAXTIME, nullptr, FALSE);
            e->link.retries = GetDlgItemInt(dialog, IDC_RETRIES, nullptr, FALSE);
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// Every action runs under the watchdog, so a server that leaves a call hanging ends the
// call and its connection instead of freezing the window for good.
void OnCommand(Explorer* e, int id) {
    if (id == IDM_EXIT) {
        DestroyWindow(e->wnd);
        return;
    }
    if (id == IDM_LIMITS) {
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LIMITS), e->wnd, TimeLimitsProc,
                        reinterpret_cast<LPARAM>(e));
        return;
    }
    Guarded(e, [&] { Act(e, id); });
}

// Files dropped on the window go the way of the Upload button's. A drop that comes while
// an action runs (a box of the library's is open) is refused: the connection is in use.
void OnDropFiles(Explorer* e, HDROP drop) {
    std::vector<std::wstring> paths = DroppedFiles(drop);
    if (!e->connection || e->guarding) {
        SetStatus(e, 0, e->connection ? L"Busy: drop the files again once the action has ended"
                                      : L"Connect first to upload the files dropped");
        return;
    }
    Guarded(e, [&] { Upload(e, paths); });
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Explorer* e = reinterpret_cast<Explorer*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        e = new Explorer;
        e->wnd = wnd;
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(e));
        break;
    case WM_CREATE:
        // First, so that WM_NCDESTROY always stops a watchdog that was started.
        RyKitWatchdogStart(&e->watchdog, Taken(&e->connection), Taken(&e->session));
        // The link opens the connection again into the same two variables, so every reader
        // of e->session and e->connection (the watchdog too) sees the new handles.
        RyKitLinkInit(&e->link, Taken(&e->session), Taken(&e->connection), wnd, &e->watchdog, nullptr);
        e->link.names = &e->names;
        e->link.retrying = &ShowAttempt;
        e->link.context = e;
        if (!RyKitBufferReserve(&e->results, RYINET_LISTING_BYTES(kMostEntries), &StopBeforeOverwrite, nullptr))
            return -1;  // no room for listings: no window
        e->keys = LoadAcceleratorsW(reinterpret_cast<CREATESTRUCTW*>(lParam)->hInstance,
                                    MAKEINTRESOURCEW(IDR_ACCELERATORS));
        CreateChildren(e);
        DragAcceptFiles(wnd, TRUE);  // files dropped from the desktop or a file manager are uploaded
        ShowConnection(e);
        ShowDial(e, L"");
        return 0;
    case WM_SIZE: LayOut(e, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_COMMAND: OnCommand(e, LOWORD(wParam)); return 0;
    case WM_DROPFILES: OnDropFiles(e, reinterpret_cast<HDROP>(wParam)); return 0;
    case WM_NOTIFY: return OnNotify(e, reinterpret_cast<NMHDR*>(lParam));
    case WM_INITMENUPOPUP:
        if (reinterpret_cast<HMENU>(wParam) == e->dialMenu) FillDialMenu(e);
        return 0;
    case WM_DESTROY:
        Disconnect(e, nullptr);  // no boxes owned by a window on its way out
        HangUp(e);
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        RyKitBufferFree(&e->results);
        RyKitWatchdogStop(&e->watchdog);
        delete e;
        break;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

}  // namespace

HWND CreateExplorerWindow(HINSTANCE instance, int show) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kClass, &wc)) {
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_EXPLORER));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MENU);
        wc.lpszClassName = kClass;
        if (!RegisterClassExW(&wc)) return nullptr;
    }
    HWND wnd = CreateWindowExW(0, kClass, L"RYINET Explorer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               800, 520, nullptr, nullptr, instance, nullptr);
    if (wnd) {
        ShowWindow(wnd, show);
        UpdateWindow(wnd);
    }
    return wnd;
}

bool ExplorerTranslateMessage(HWND window, MSG* msg) {
    Explorer* e = reinterpret_cast<Explorer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    WCHAR focus[16] = L"";  // in a text field Backspace and Del edit the text
    GetClassNameW(GetFocus(), focus, ARRAYSIZE(focus));
    if (e && lstrcmpiW(focus, L"Edit") != 0 && TranslateAcceleratorW(window, e->keys, msg)) return true;
    return IsDialogMessageW(window, msg) != FALSE;
}
