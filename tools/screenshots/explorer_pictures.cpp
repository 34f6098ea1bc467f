// explorer_pictures SERVER ROOT SHOTS: shows the RYINET Explorer as the README pictures it,
// for make screenshots (screenshots.sh). It connects to SERVER (serving the sample tree at
// ROOT, as ryuser), dials the phonebook's Office entry, uploads a file dropped on the
// window, selects readme.txt and announces the picture "explorer" (SHOTS\explorer.ready); then it takes victim.txt away behind the
// window's back and deletes it there, so the library's box shows over the window, and
// announces "explorer-box". Each picture is
// held until the picture taker answers NAME.taken, a minute at most.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string>
#include "explorer.h"
#include "phonebook_service.h"
#include "ryinet_kit.h"

namespace {

std::string g_shots;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Pump(HWND window) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!ExplorerTranslateMessage(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
}

bool Announce(const std::string& name, HWND window) {
    CloseHandle(CreateFileA((g_shots + "\\" + name + ".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr));
    for (int i = 0; i < 1200 && !Exists(g_shots + "\\" + name + ".taken"); ++i, Sleep(50)) Pump(window);
    return Exists(g_shots + "\\" + name + ".taken");
}

// The box is answered once it has been painted and its picture taken.
void CALLBACK AnswerAfterPicture(HWND box, UINT, UINT_PTR timer, DWORD) {
    KillTimer(box, timer);
    Announce("explorer-box", box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

int OnBox(void*, const RyKitShownBox* box) {
    if (GetDlgItem(box->box, IDYES)) return IDYES;  // the Explorer's question: delete it
    SetTimer(box->box, 1, 200, &AnswerAfterPicture);
    return 0;
}

// The Office entry with a saved password, where the RAS stand-in beside the program reads it.
void WritePhonebook() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    rasstandin::WriteUserPhonebook(std::string(temp) + "explorer_pictures",
                                   "[Office]\nStandInUser=alice\nStandInPassword=office-secret\n"
                                   "StandInSavePassword=1\n[Home]\nStandInUser=bob\n");
}

// A file dropped on the window as the shell drops it: a DROPFILES and the path after it,
// ended by two NULs. The window's DragFinish frees it.
void DropFile(HWND window, const wchar_t* path) {
    SIZE_T bytes = sizeof(DROPFILES) + (lstrlenW(path) + 2) * sizeof(WCHAR);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    lstrcpyW(reinterpret_cast<WCHAR*>(drop + 1), path);
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

void Select(HWND list, const char* name) {
    char text[MAX_PATH];
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        ListView_GetItemText(list, i, 0, text, sizeof text);
        if (lstrcmpA(text, name) == 0)
            ListView_SetItemState(list, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    SetFocus(list);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: explorer_pictures SERVER ROOT SHOTS\n");
        return 2;
    }
    g_shots = argv[3];
    WritePhonebook();
    HWND window = CreateExplorerWindow(GetModuleHandleA(nullptr), SW_SHOW);
    if (!window) return 1;
    RyKitBoxWatch watch;
    RyKitWatchBoxes(&watch, &OnBox, nullptr);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetDlgItemTextA(window, IDC_SERVER, argv[1]);
    SetDlgItemTextA(window, IDC_USER, "ryuser");
    SetDlgItemTextA(window, IDC_PASSWORD, "rypass");
    SendMessageA(GetDlgItem(window, IDC_CONNECT), BM_CLICK, 0, 0);
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(GetMenu(window), kDialMenuPosition)), 0);
    SendMessageA(window, WM_COMMAND, IDM_ENTRY + 0, 0);
    SendMessageA(window, WM_COMMAND, IDM_DIAL, 0);
    wchar_t upload[MAX_PATH];
    GetTempPathW(MAX_PATH, upload);
    lstrcatW(upload, L"Grüße.txt");
    HANDLE file = CreateFileW(upload, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "uploaded by a drop\r\n", 20, &written, nullptr);
    CloseHandle(file);
    DropFile(window, upload);
    HWND list = GetDlgItem(window, IDC_LIST);
    Select(list, "readme.txt");
    bool taken = Announce("explorer", window);
    Select(list, "victim.txt");
    DeleteFileA((std::string(argv[2]) + "\\victim.txt").c_str());  // so that the server refuses
    SendMessageA(GetDlgItem(window, IDC_DELETE), BM_CLICK, 0, 0);
    RyKitStopWatching(&watch);
    DestroyWindow(window);
    return taken && watch.shown == 2 ? 0 : 1;
}
