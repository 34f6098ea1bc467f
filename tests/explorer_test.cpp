// The RYINET Explorer in a real window system (Xvfb), created in this process and driven
// through its controls, menu and keys against a real server. Every box and dialog is
// read as it is activated and answered, so nothing waits for a person. The window is a
// Unicode one: its texts are read through the W messages, and are UTF-8 here.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "boxes.h"
#include "explorer.h"
#include "ftp_env.h"
#include "phonebook_service.h"
#include "ryinet.h"
#include "ryinet_kit.h"
#include "ryinet_listing.h"

namespace {

// The user's phonebook, where the RAS stand-in beside the test reads it.
void WritePhonebook(const std::string& text) {
    rasstandin::WriteUserPhonebook(TempPath("explorer_appdata"), text);
}
// Text and paths are UTF-8 in the test; Windows takes them as UTF-16.
std::string Utf8(const wchar_t* text) {
    std::string bytes(4 * wcslen(text), '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], static_cast<int>(bytes.size() + 1), nullptr,
                                     nullptr) - 1);
    return bytes;
}
std::wstring Wide(const std::string& text) {
    std::wstring units(text.size(), L'\0');
    units.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &units[0],
                                     static_cast<int>(units.size())));
    return units;
}
// The bytes of the file at a path in any script, or "?" when there is none.
std::string Contents(const std::string& path) {
    FILE* in = _wfopen(Wide(path).c_str(), L"rb");
    std::string bytes = in ? "" : "?";
    for (int c; in && (c = fgetc(in)) != EOF;) bytes += static_cast<char>(c);
    if (in) fclose(in);
    return bytes;
}

// What the status bar's first part was told, in order: "(covered) " in front when the
// progress bar lay over the text's beginning, " [painted]" after when the bar painted
// before the next text.
std::vector<std::string> said;
WNDPROC statusProc;
LRESULT CALLBACK StatusHeard(HWND bar, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == SB_SETTEXTW && LOBYTE(wParam) == 0) {
        HWND progress = GetDlgItem(bar, IDC_PROGRESS);
        RECT part, over;
        SendMessageW(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
        GetWindowRect(progress, &over);
        MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&over), 2);
        bool covered = IsWindowVisible(progress) && over.left < (part.left + part.right) / 2;
        said.push_back((covered ? "(covered) " : "") + Utf8(reinterpret_cast<const wchar_t*>(lParam)));
    }
    if (msg == WM_PAINT && !said.empty() && said.back().find(" [painted]") == std::string::npos)
        said.back() += " [painted]";
    return CallWindowProcW(statusProc, bar, msg, wParam, lParam);
}

const char kPhonebook[] = "[Office]\nStandInUser=alice\nStandInPassword=office-secret\nStandInSavePassword=1\n"
                          "[Home]\nStandInUser=bob\nStandInPassword=home-secret\n";

class ExplorerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run: the window must really show";
        server_ = ServerFromEnvironment("EXPLORER");
        ASSERT_TRUE(server_.present());
        wnd_ = CreateExplorerWindow(GetModuleHandleA(nullptr), SW_SHOW);
        ASSERT_NE(wnd_, nullptr);
        list_ = GetDlgItem(wnd_, IDC_LIST);
        ConnectTo(server_.host);
        ASSERT_EQ(Text(IDC_PATH), "/");
    }
    void TearDown() override {
        DestroyWindow(wnd_);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}  // the window's WM_QUIT included
    }

    // A question gets yes, a file dialog the file name dialogFile_ (after the name it
    // offered is kept in suggested_), the folder dialog dialogFolder_, any other box OK.
    int Answer(HWND box) {
        if (GetDlgItem(box, IDYES)) return IDYES;
        if (FindWindowExW(box, nullptr, WC_TREEVIEWW, nullptr)) {
            SendMessageW(box, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Wide(dialogFolder_).c_str()));
            return IDOK;
        }
        if (GetDlgItem(box, IDC_TIMEOUT)) {  // Time limits: the test's own
            SetDlgItemInt(box, IDC_TIMEOUT, limits_[0], FALSE);
            SetDlgItemInt(box, IDC_MAXTIME, limits_[1], FALSE);
            SetDlgItemInt(box, IDC_RETRIES, limits_[2], FALSE);
            return IDOK;
        }
        WCHAR offered[MAX_PATH] = L"";
        GetDlgItemTextW(box, cmb13, offered, MAX_PATH);
        suggested_ = Utf8(offered);
        SetDlgItemTextW(box, cmb13, Wide(dialogFile_).c_str());
        return IDOK;
    }
    void ConnectTo(const std::string& host, const char* user = kUser, const char* password = kPassword) {
        SetDlgItemTextA(wnd_, IDC_SERVER, host.c_str());
        SetDlgItemTextA(wnd_, IDC_USER, user);
        SetDlgItemTextA(wnd_, IDC_PASSWORD, password);
        Click(IDC_CONNECT);
    }
    // Paths dropped on the window, as the shell drops them: a DROPFILES and the paths after
    // it, each ended by a NUL and the list by another. The window's DragFinish frees it.
    void Drop(const std::vector<std::string>& paths) {
        std::wstring list;
        for (const std::string& path : paths) list += Wide(path) + L'\0';
        SIZE_T bytes = sizeof(DROPFILES) + (list.size() + 1) * sizeof(WCHAR);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        memcpy(drop + 1, list.data(), list.size() * sizeof(WCHAR));
        GlobalUnlock(memory);
        SendMessageW(wnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    }
    // A key pressed on the list, through the window's own message loop.
    void Key(WORD key) {
        SetFocus(list_);
        PostMessageA(list_, WM_KEYDOWN, key, 0);
        Pump();
    }
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            if (!ExplorerTranslateMessage(wnd_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
    }
    void Click(int id) { SendMessageA(GetDlgItem(wnd_, id), BM_CLICK, 0, 0); }
    void Command(int id) { SendMessageA(wnd_, WM_COMMAND, id, 0); }  // as a menu item sends it
    std::string Text(int id) {
        WCHAR text[1024] = L"";
        GetDlgItemTextW(wnd_, id, text, ARRAYSIZE(text));
        return Utf8(text);
    }
    std::string StatusText() {
        WCHAR text[1024] = L"";
        SendMessageW(GetDlgItem(wnd_, IDC_STATUS), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return Utf8(text);
    }
    std::string DialStatus() {
        char text[1024] = "";
        SendMessageA(GetDlgItem(wnd_, IDC_STATUS), SB_GETTEXTA, kDialStatusPart, reinterpret_cast<LPARAM>(text));
        return text;
    }
    // The Dial-up menu as it opens: each item's text after "*" when checked, "-" when grayed.
    std::vector<std::string> DialMenu() {
        HMENU menu = GetSubMenu(GetMenu(wnd_), kDialMenuPosition);
        SendMessageA(wnd_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
        std::vector<std::string> items;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[300] = "";
            GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
            UINT state = GetMenuState(menu, i, MF_BYPOSITION);
            items.push_back(std::string(state & MF_CHECKED ? "*" : "") + (state & MF_GRAYED ? "-" : "") + text);
        }
        return items;
    }
    std::string Cell(int item, int column) {
        WCHAR text[512] = L"";
        LVITEMW cell = {};
        cell.iSubItem = column;
        cell.pszText = text;
        cell.cchTextMax = ARRAYSIZE(text);
        SendMessageW(list_, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&cell));
        return Utf8(text);
    }
    // Each row as "name;size;modified", in the list's order or sorted.
    std::vector<std::string> Shown(bool sorted = true) {
        std::vector<std::string> rows;
        for (int i = 0; i < ListView_GetItemCount(list_); ++i)
            rows.push_back(Cell(i, 0) + ";" + Cell(i, 1) + ";" + Cell(i, 2));
        if (sorted) std::sort(rows.begin(), rows.end());
        return rows;
    }
    // The records RyFtpDir gives for dir on a connection of the test's own, as the
    // Explorer must show them (a directory with no size; the server's names are UTF-8),
    // sorted.
    std::vector<std::string> Listed(const char* dir) {
        DWORD session = RyINetOpen(nullptr);
        DWORD connection = RyFtpConnect(session, 0, nullptr, server_.host.c_str(), kUser, kPassword);
        RyFSetDir(connection, 0, dir);
        std::vector<char> text(RYINET_LISTING_BYTES(64));
        RyFtpDir(connection, nullptr, "*", 0, text.data());
        std::vector<std::string> rows;
        RyListingEntry e;
        for (const char* at = text.data(); RyListingNext(&at, &e) == 1;) {
            char date[32];
            sprintf(date, ";%02u/%02u/%u  %02u:%02u", e.month, e.day, e.year, e.hour, e.minute);
            rows.push_back(std::string(e.name, e.nameLength) + ";" + (e.isDirectory ? "" : std::to_string(e.size)) + date);
        }
        RyINetClose(connection, nullptr);
        RyINetClose(session, nullptr);
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    // A file put on the server through a connection of the test's own: named in the server's
    // own case, which a path through Wine's Z: drive does not keep beside another case.
    void Put(const FtpServer& server, const std::string& remote, const std::string& bytes) {
        std::string local = TempPath("explorer_put.tmp");
        WriteWholeFile(local, bytes);
        DWORD session = RyINetOpen(nullptr);
        DWORD connection = RyFtpConnect(session, 0, nullptr, server.host.c_str(), kUser, kPassword);
        RyKitSend sent;
        EXPECT_EQ(RyKitSendFile(connection, WidePath(local).c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY,
                                nullptr, nullptr, &sent), RYKIT_SENT) << remote;
        RyINetClose(connection, nullptr);
        RyINetClose(session, nullptr);
        DeleteFileA(local.c_str());
    }
    int Find(const std::string& name) {
        for (int i = 0; i < ListView_GetItemCount(list_); ++i)
            if (Cell(i, 0) == name) return i;
        return -1;
    }
    void Select(const std::string& name) {
        ASSERT_GE(Find(name), 0) << name;
        ListView_SetItemState(list_, Find(name), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    void ClickHeader(int column) {
        HWND header = ListView_GetHeader(list_);
        RECT r;
        Header_GetItemRect(header, column, &r);
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
    }
    void DoubleClick(const std::string& name) {
        RECT r;
        ListView_GetItemRect(list_, Find(name), &r, LVIR_LABEL);
        SendMessageA(list_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2));
    }
    // Types into the label being edited and presses Enter, as a user renaming in place.
    void TypeLabel(const std::string& text) {
        HWND edit = ListView_GetEditControl(list_);
        ASSERT_NE(edit, nullptr) << "no label is being edited";
        SetWindowTextW(edit, Wide(text).c_str());
        SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
        Pump();
    }

    // Subclasses the status bar to record what it is told in said.
    void ListenToStatus() {
        said.clear();
        statusProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(GetDlgItem(wnd_, IDC_STATUS), GWLP_WNDPROC,
                                                                 reinterpret_cast<LONG_PTR>(&StatusHeard)));
    }

    FtpServer server_;
    std::string dialogFile_, dialogFolder_, suggested_;
    unsigned limits_[3] = {120, 0, RYKIT_RETRIES};  // View > Time limits: as the window starts
    ShownBoxes boxes_{[this](HWND box) { return Answer(box); }};
    HWND wnd_ = nullptr, list_ = nullptr;
};

// ---- Browsing ----------------------------------------------------------------------------

TEST_F(ExplorerWindow, RowsAreTheListingsRecordsDirectoriesFirstSortedByTheColumnClicked) {
    auto isDirectory = [](const std::string& row) { return row.find(";;") != std::string::npos; };
    auto directoriesFirst = [&] {
        std::vector<std::string> shown = Shown(false);
        return std::is_partitioned(shown.begin(), shown.end(), isDirectory) && isDirectory(shown.front()) &&
               !isDirectory(shown.back());
    };
    EXPECT_TRUE(directoriesFirst());
    LVITEMA first = {LVIF_IMAGE, 0}, last = {LVIF_IMAGE, ListView_GetItemCount(list_) - 1};
    ListView_GetItem(list_, &first);
    ListView_GetItem(list_, &last);
    EXPECT_NE(first.iImage, last.iImage);  // a folder's icon and a file's
    EXPECT_EQ(Shown(), Listed("/"));

    auto files = [&](int column) {  // that column of the file rows, in the list's order
        std::vector<std::string> cells;
        for (int i = 0; i < ListView_GetItemCount(list_); ++i)
            if (!Cell(i, 1).empty()) cells.push_back(Cell(i, column));
        return cells;
    };
    auto bySize = [](const std::string& a, const std::string& b) { return std::stoul(a) < std::stoul(b); };
    for (bool up : {true, false}) {  // the same header again turns the order round
        ClickHeader(1);
        std::vector<std::string> sizes = files(1);
        if (!up) std::reverse(sizes.begin(), sizes.end());
        EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end(), bySize) && directoriesFirst()) << up;
    }
    ClickHeader(2);
    EXPECT_EQ(files(0).front(), "readme.txt");  // the only file from 1998
}

// The window connects in passive mode from the start (View > Passive mode), which is what
// works behind a NAT; the NAT test runs this case from behind one.
TEST_F(ExplorerWindow, APassiveConnectionListsTheServedTree) {
    EXPECT_EQ(GetMenuState(GetMenu(wnd_), IDM_PASSIVE, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    std::vector<std::string> rows = Shown();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "readme.txt;512;03/07/1998  12:00"), rows.end())
        << ::testing::PrintToString(rows);  // a date with a year is read as noon of that day
}

// A server that never greets holds a connect for a minute under Wine; with a time limit
// of 3 s without progress, the Explorer ends it and says so.
TEST_F(ExplorerWindow, TimeLimitsEndACallTheServerLeavesHanging) {
    limits_[0] = 3;
    Command(IDM_LIMITS);
    Click(IDC_CONNECT);  // disconnect
    boxes_.seen.clear();
    ULONGLONG start = GetTickCount64();
    ConnectTo(ServerFromEnvironment("SILENT").host);
    double seconds = (GetTickCount64() - start) / 1000.0;
    EXPECT_LT(seconds, 30.0);
    ASSERT_FALSE(boxes_.seen.empty()) << seconds << " s; " << Text(IDC_CONNECT) << "; " << StatusText();
    EXPECT_EQ(boxes_.seen.back().text, "The server made no progress for 3 s. The connection is closed.");
    EXPECT_EQ(Text(IDC_CONNECT), "&Connect");
}

TEST_F(ExplorerWindow, EnteringADirectoryAndGoingUpUpdateThePathBarAndTheRows) {
    DoubleClick("pub");
    EXPECT_EQ(Text(IDC_PATH), "/pub");
    EXPECT_EQ(Shown(), Listed("/pub"));
    DoubleClick("deep");
    EXPECT_EQ(Text(IDC_PATH), "/pub/deep");
    Click(IDC_UP);
    Key(VK_BACK);
    EXPECT_EQ(Text(IDC_PATH), "/");
    EXPECT_EQ(Shown(), Listed("/"));
}

// ---- Changing the served tree ------------------------------------------------------------

TEST_F(ExplorerWindow, NewFolderRenameAndDeleteChangeTheTreeOnDisk) {
    Click(IDC_NEWFOLDER);
    EXPECT_TRUE(DirectoryExists(server_.path("NewFolder")));
    TypeLabel("made");  // the new folder's label is open for its name
    EXPECT_TRUE(DirectoryExists(server_.path("made")));
    EXPECT_FALSE(DirectoryExists(server_.path("NewFolder")));

    WriteWholeFile(server_.path("draft.txt"), "draft");
    Key(VK_F5);
    Select("draft.txt");
    Key(VK_F2);
    TypeLabel("final.txt");
    EXPECT_FALSE(FileExists(server_.path("draft.txt")));
    EXPECT_TRUE(FileExists(server_.path("final.txt")));

    Select("final.txt");
    Key(VK_DELETE);
    EXPECT_FALSE(FileExists(server_.path("final.txt")));
    Select("made");
    Click(IDC_DELETE);
    EXPECT_FALSE(DirectoryExists(server_.path("made")));
    EXPECT_EQ(Find("made"), -1);
    ASSERT_EQ(boxes_.seen.size(), 2u);  // the two questions, and no refusal
    EXPECT_EQ(boxes_.seen[0].text, "Delete the file \"final.txt\" from the server?");
    EXPECT_EQ(boxes_.seen[1].text, "Delete the folder \"made\" from the server?");
}

TEST_F(ExplorerWindow, ARefusedDeleteShowsTheLibrarysBoxOwnedByTheWindowThenGoesOn) {
    WriteWholeFile(server_.path("ghost.txt"), "soon gone");
    Click(IDC_REFRESH);
    Select("ghost.txt");
    DeleteFileA(server_.path("ghost.txt").c_str());  // behind the Explorer's back
    Click(IDC_DELETE);
    ASSERT_EQ(boxes_.seen.size(), 2u);  // the Explorer's question, then the library's box
    BoxSeen refused = boxes::B9(wnd_);
    EXPECT_EQ(boxes_.seen[1].owner, refused.owner);
    EXPECT_EQ(boxes_.seen[1].caption, refused.caption);
    EXPECT_EQ(boxes_.seen[1].text, refused.text);
    EXPECT_EQ(Find("ghost.txt"), -1);  // control came back: the window refreshed
    DoubleClick("pub");                // and takes the next command
    EXPECT_EQ(Text(IDC_PATH), "/pub");
}

TEST_F(ExplorerWindow, DownloadWritesTheFileChosenInTheSaveDialogAndAFailedOneKeepsIt) {
    std::string large;
    for (int i = 0; large.size() < (3u << 20) + 17; ++i) large += std::to_string(i * 7919) + "\r\n\0";
    WriteWholeFile(server_.path("large.bin"), large);
    Click(IDC_REFRESH);
    dialogFile_ = TempPath("explorer_download.bin");
    DeleteFileA(dialogFile_.c_str());
    Select("large.bin");
    Click(IDC_DOWNLOAD);
    bool ok = false;
    EXPECT_TRUE(ReadWholeFile(dialogFile_, &ok) == large && ok);
    HWND progress = GetDlgItem(GetDlgItem(wnd_, IDC_STATUS), IDC_PROGRESS);
    EXPECT_EQ(SendMessageA(progress, PBM_GETPOS, 0, 0), 1000);  // a large file's bar went all the way
    ASSERT_EQ(boxes_.seen.size(), 1u);
    EXPECT_EQ(boxes_.seen[0].owner, wnd_);  // the Save dialog

    limits_[2] = 1;  // each attempt is cut short too: one more is enough to see them fail
    Command(IDM_LIMITS);
    Click(IDC_CONNECT);  // disconnect, then a server whose transfers are cut short
    ConnectTo(ServerFromEnvironment("SCRIPTED").host);
    Select("plain.txt");
    Click(IDC_DOWNLOAD);  // over the file just downloaded
    EXPECT_TRUE(ReadWholeFile(dialogFile_, &ok) == large && ok);
    EXPECT_FALSE(FileExists(dialogFile_ + ".part"));
    ASSERT_EQ(boxes_.seen.size(), 5u);  // Time limits, the Save dialog, its question to replace, and why it failed
    EXPECT_EQ(boxes_.seen[4].text,
              "Could not download \"plain.txt\" to " + dialogFile_ + ". A file already there is kept.");
    EXPECT_EQ(StatusText(), "Download failed");
    DeleteFileA(dialogFile_.c_str());
    DeleteFileA((dialogFile_ + ".rykit-partial").c_str());
}

// ---- Trying again after a break ----------------------------------------------------------

// The server breaks off each file's first transfer halfway: the status bar says so through
// the pause, and the Explorer connects again and asks only for the rest.
TEST_F(ExplorerWindow, ABrokenDownloadCompletesByItselfFromWhereItBroke) {
    FtpServer breaking = ServerFromEnvironment("EXPLORER_BREAKING");
    ASSERT_TRUE(breaking.present());
    Click(IDC_CONNECT);  // disconnect
    ConnectTo(breaking.host);
    ListenToStatus();
    dialogFile_ = TempPath("explorer_broken.bin");
    DeleteFileA(dialogFile_.c_str());
    Select("big.bin");
    Click(IDC_DOWNLOAD);
    bool ok = false, served = false;
    EXPECT_TRUE(ReadWholeFile(dialogFile_, &ok) == ReadWholeFile(breaking.path("big.bin"), &served) && ok && served);
    EXPECT_FALSE(FileExists(dialogFile_ + ".rykit-partial"));
    ASSERT_EQ(said.size(), 2u) << ::testing::PrintToString(said);  // the attempt, then the outcome
    EXPECT_EQ(said[0], "Broken off after 976 KiB of 1.9 MiB; trying again in 1 s (1 of 5) [painted]");
    EXPECT_EQ(StatusText(), "Downloaded big.bin");
    EXPECT_EQ(Contents(breaking.path("../sent.log")), "1000000\n1000000\n");  // the second RETR: the rest
    EXPECT_EQ(boxes_.seen.size(), 1u);  // the Save dialog alone
    DeleteFileA(dialogFile_.c_str());
}

// ---- Several files at once ---------------------------------------------------------------

// Files selected together come into one folder chosen once, files dropped together go, on
// the kit's pool: the status bar tells the batch (and each attempt where the server breaks
// every file's first transfer) with the bar beside it, and ends with one text; one box names
// the file that vanished from the server, and the second of two names that are one local
// file, which is not written twice at once. A download is held to the listing's size: the
// breaking server, which logs each command, is asked SIZE only to go on after each break.
TEST_F(ExplorerWindow, SeveralFilesMoveAtOnceAndEndAsOneStatusAndOneBox) {
    const struct {
        const char* server;
        std::string dir;                 // where the files are, "" for the log-in's
        std::vector<std::string> names;  // downloaded together, with one that vanishes
        size_t dropBytes;                // of each of the three files dropped
        const char* attempt;             // how an attempt starts, nullptr for none
    } cases[] = {
        {"EXPLORER", "", {"café.txt", "Привет.txt", "日本語.txt", "readme.txt"}, 70000, nullptr},
        {"EXPLORER_BREAKING", "many/", {"a.bin", "b.bin"}, 600 * 1024, "Broken off after "},
    };
    // At the root of C:, which Wine's folder dialog walks its tree to; one under the user's
    // profile (the temporary folder) it did not reach, and answered with the profile.
    std::string folder = "C:\\explorer_several";
    CreateDirectoryA(folder.c_str(), nullptr);
    HWND progress = GetDlgItem(GetDlgItem(wnd_, IDC_STATUS), IDC_PROGRESS);
    ListenToStatus();
    // Every text but the last tells the batch running (or an attempt); the last is returned.
    auto told = [](const char* running, const char* attempt) {
        bool attempted = false;
        for (std::string& text : said) {
            size_t painted = text.find(" [painted]");
            if (painted != std::string::npos) text.erase(painted);
            bool attempting = attempt && text.rfind(attempt, 0) == 0;
            attempted |= attempting;
            if (&text != &said.back()) EXPECT_TRUE(text.rfind(running, 0) == 0 || attempting) << text;
        }
        EXPECT_EQ(attempted, attempt != nullptr) << ::testing::PrintToString(said);
        return said.empty() ? std::string("(nothing)") : said.back();
    };
    auto count = [](const std::string& log, const char* command) {
        size_t n = 0;
        for (size_t at = 0; (at = log.find(std::string("\n") + command, at)) != std::string::npos; ++at) ++n;
        return n;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        FtpServer server = ServerFromEnvironment(c.server);
        ASSERT_TRUE(server.present());
        Click(IDC_CONNECT);  // disconnect
        ConnectTo(server.host);
        if (!c.dir.empty()) DoubleClick(c.dir.substr(0, c.dir.size() - 1));
        WriteWholeFile(server.path(c.dir + "gone.txt"), "soon gone");
        for (const char* name : {"Twin.txt", "twin.txt"}) Put(server, c.dir + name, name);
        Click(IDC_REFRESH);
        for (const std::string& name : c.names) Select(name);
        for (const char* name : {"gone.txt", "Twin.txt", "twin.txt"}) Select(name);
        std::string first = Find("Twin.txt") < Find("twin.txt") ? "Twin.txt" : "twin.txt";
        std::string second = first == "Twin.txt" ? "twin.txt" : "Twin.txt";
        DeleteFileA(server.path(c.dir + "gone.txt").c_str());  // behind the Explorer's back
        std::string log = Contents(server.path("../commands.log"));
        dialogFolder_ = folder;
        said.clear();
        boxes_.seen.clear();
        Click(IDC_DOWNLOAD);
        for (const std::string& name : c.names) {
            bool ok = false, served = false;
            EXPECT_TRUE(ReadWholeFile(folder + "\\" + name, &ok) == ReadWholeFile(server.path(c.dir + name), &served) &&
                        ok && served) << name;
            DeleteFileW(Wide(folder + "\\" + name).c_str());
        }
        EXPECT_EQ(Contents(folder + "\\twin.txt"), first);
        DeleteFileA((folder + "\\twin.txt").c_str());
        for (const char* name : {"Twin.txt", "twin.txt"}) DeleteFileA(server.path(c.dir + name).c_str());
        size_t n = c.names.size() + 1;  // the twin that came
        EXPECT_EQ(told(("Downloading " + std::to_string(n + 1) + " files").c_str(), c.attempt),
                  "Downloaded " + std::to_string(n) + " files, 2 failed");
        ASSERT_EQ(boxes_.seen.size(), 2u);  // the folder dialog, and the one box at the end
        EXPECT_EQ(boxes_.seen[1].text, "2 of " + std::to_string(n + 2) + " files did not download:\n\n" + second +
                                           ": another file of the batch has the same name\n"
                                           "gone.txt: 550 No such file or directory.\n\nA file already there is kept.");
        if (c.attempt) EXPECT_EQ(count("\n" + Contents(server.path("../commands.log")).substr(log.size()), "SIZE "), n);

        std::vector<std::string> dropped;
        for (char i : {'1', '2', '3'}) {
            dropped.push_back(TempPath(std::string("explorer_several_") + i + ".bin"));
            WriteWholeFile(dropped.back(), std::string(c.dropBytes, i) + c.server);
        }
        said.clear();
        boxes_.seen.clear();
        Drop(dropped);
        for (const std::string& path : dropped) {
            std::string name = path.substr(path.find_last_of('\\') + 1);
            EXPECT_TRUE(Contents(server.path(c.dir + name)) == Contents(path)) << name;
            EXPECT_GE(Find(name), 0) << name;
            DeleteFileA(path.c_str());
        }
        EXPECT_EQ(told("Uploading 3 files", c.attempt), "Uploaded 3 files");
        EXPECT_EQ(SendMessageA(progress, PBM_GETPOS, 0, 0), 1000);  // by the bytes, all the way
        EXPECT_TRUE(boxes_.seen.empty());
    }
    RemoveDirectoryA(folder.c_str());
}

// ---- Names in every script --------------------------------------------------------------

// The server sends its names as UTF-8: the list shows their text, and a row goes back to
// the server as the bytes it came as. A name with control characters shows each as U+FFFD
// and is offered as a local name only with them replaced.
TEST_F(ExplorerWindow, NamesInEveryScriptShowAsTextAndGoBackAsTheServersBytes) {
    for (const char* name : {"café.txt", "Привет.txt", "日本語.txt", "Ölfeld"}) EXPECT_GE(Find(name), 0) << name;
    dialogFile_ = TempPath("日本語.txt");
    DeleteFileW(Wide(dialogFile_).c_str());
    Select("日本語.txt");
    Click(IDC_DOWNLOAD);
    EXPECT_EQ(suggested_, "日本語.txt");
    EXPECT_EQ(Contents(dialogFile_), "日本語\n");
    DeleteFileW(Wide(dialogFile_).c_str());

    DoubleClick("Ölfeld");
    EXPECT_EQ(Text(IDC_PATH), "/Ölfeld");
    Select("bell\uFFFD\uFFFD.txt");  // BEL and CSI
    dialogFile_ = TempPath("explorer_bell.txt");
    Click(IDC_DOWNLOAD);
    EXPECT_EQ(suggested_, "bell__.txt");
    EXPECT_EQ(Contents(dialogFile_), "ring\n");
    DeleteFileA(dialogFile_.c_str());
    Key(VK_F2);
    TypeLabel("Glöckchen.txt");
    EXPECT_EQ(Contents(server_.path("Ölfeld/Glöckchen.txt")), "ring\n");
    EXPECT_GE(Find("Glöckchen.txt"), 0);
    EXPECT_EQ(boxes_.seen.size(), 2u);  // the two Save dialogs, and no refusal
}

// ---- Uploads -----------------------------------------------------------------------------

TEST_F(ExplorerWindow, FilesDroppedOrChosenAreUploadedAndARefusalSaysTheServersReply) {
    std::string binary, folder = TempPath("explorer_folder"), chosen = TempPath("explorer_chosen.txt");
    for (int i = 0; binary.size() < (2u << 20); ++i) binary += std::to_string(i) + std::string("\r\n\0\n", 4);
    std::vector<std::string> dropped = {TempPath("explorer_dropped.bin"), TempPath("Grüße.txt"), folder};
    WriteWholeFile(dropped[0], binary);
    FILE* greeting = _wfopen(Wide(dropped[1]).c_str(), L"wb");
    fputs("Grüße\n", greeting);
    fclose(greeting);
    CreateDirectoryA(folder.c_str(), nullptr);
    Drop(dropped);
    EXPECT_TRUE(Contents(server_.path("explorer_dropped.bin")) == binary);  // 2 MiB: no EXPECT_EQ dump
    EXPECT_EQ(Contents(server_.path("Grüße.txt")), "Grüße\n");
    EXPECT_GE(Find("Grüße.txt"), 0);
    EXPECT_EQ(StatusText(), "Uploaded 2 files, skipped 1 folder (only files are uploaded)");

    WriteWholeFile(chosen, "chosen");
    dialogFile_ = chosen;  // the Open dialog's answer: one file, its full path
    Click(IDC_UPLOAD);
    EXPECT_EQ(Contents(server_.path("explorer_chosen.txt")), "chosen");
    EXPECT_GE(Find("explorer_chosen.txt"), 0);

    Click(IDC_CONNECT);  // anonymous may only read
    ConnectTo(server_.host, "anonymous", "guest");
    boxes_.seen.clear();
    Drop({chosen});
    ASSERT_EQ(boxes_.seen.size(), 1u);
    EXPECT_EQ(boxes_.seen[0].owner, wnd_);
    EXPECT_EQ(boxes_.seen[0].text, "Could not upload \"explorer_chosen.txt\": 550 Not enough privileges.");
    for (const std::string& path : {dropped[0], dropped[1], chosen}) DeleteFileW(Wide(path).c_str());
    RemoveDirectoryA(folder.c_str());
}

// ---- Dial-up -----------------------------------------------------------------------------

TEST_F(ExplorerWindow, TheDialUpMenuOffersThePhonebookDialsWithStoredCredentialsAndHangsUp) {
    WritePhonebook("");
    EXPECT_EQ(DialMenu(), (std::vector<std::string>{"-(no phonebook entries)", "-", "-&Dial", "-&Hang up"}));
    WritePhonebook(kPhonebook);
    EXPECT_EQ(DialMenu(), (std::vector<std::string>{"Office", "Home", "-", "-&Dial", "-&Hang up"}));
    Command(IDM_ENTRY + 1);
    EXPECT_EQ(DialStatus(), "Dial-up: Home (user bob, password none)");
    Command(IDM_DIAL);  // without its password the service refuses
    EXPECT_EQ(DialStatus(), "Dial-up: Home dial failed");
    Command(IDM_ENTRY + 0);
    EXPECT_EQ(DialStatus(), "Dial-up: Office (user alice, password saved)");
    Command(IDM_DIAL);
    EXPECT_EQ(DialStatus(), "Dial-up: Office connected");
    EXPECT_EQ(DialMenu(), (std::vector<std::string>{"*Office", "Home", "-", "-&Dial", "&Hang up"}));
    Command(IDM_HANGUP);
    EXPECT_EQ(DialStatus(), "Dial-up: Office hung up");
    EXPECT_EQ(DialMenu()[3], "&Dial");
    EXPECT_TRUE(boxes_.seen.empty());
}

}  // namespace
