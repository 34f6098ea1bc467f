// RYINET Explorer: a small Windows GUI host of RYINET.dll. It browses an FTP server
// (connect, list, enter, create, rename, delete, download) and dials phonebook entries,
// passing its main window to every call so that the library's boxes are modal to it.
#pragma once
#include <windows.h>

// Child controls, by id (GetDlgItem(window, id)); the buttons act on WM_COMMAND/BN_CLICKED.
enum ExplorerControl {
    IDC_SERVER = 101,  // connect bar: server, user name, password, Connect/Disconnect
    IDC_USER,
    IDC_PASSWORD,
    IDC_CONNECT,
    IDC_PATH,          // the remote current directory (read only)
    IDC_UP,
    IDC_REFRESH,
    IDC_NEWFOLDER,
    IDC_RENAME,
    IDC_DELETE,
    IDC_DOWNLOAD,
    IDC_LIST,          // report view: name, size, modified; directories first
    IDC_STATUS,        // parts: FTP connection, internet state, local address, dial-up
    IDC_PROGRESS,      // inside the status bar while a download runs
};

// The Dial-up menu (the menu bar's first popup) is filled when it opens: one item per
// phonebook entry (IDM_ENTRY + index, checked when chosen), then Dial and Hang up.
enum ExplorerCommand { IDM_DIAL = 900, IDM_HANGUP, IDM_ENTRY = 1000 };

// The status bar part that says how the dial-up stands.
const int kDialStatusPart = 3;

// Creates the main window (registering its class once) and shows it. Destroying the
// window closes its FTP handles, hangs up its dial and posts WM_QUIT.
HWND CreateExplorerWindow(HINSTANCE instance, int show);
