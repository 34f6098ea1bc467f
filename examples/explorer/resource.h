// The RYINET Explorer's resources and control ids, shared by explorer.rc and the code.
#pragma once

#define IDI_EXPLORER      1    // the window's icon
#define IDR_MENU          1    // File, View, Dial-up
#define IDR_ACCELERATORS  1    // F2 rename, Del delete, F5 refresh, Backspace up, Ctrl+U upload

// Child controls (GetDlgItem(window, id)); the buttons, and the menu items and keys that
// do the same, send WM_COMMAND with these ids.
#define IDC_SERVER     101  // connect bar: server, user name, password, Connect/Disconnect
#define IDC_USER       102
#define IDC_PASSWORD   103
#define IDC_CONNECT    104
#define IDC_PATH       105  // the remote current directory (read only)
#define IDC_UP         106
#define IDC_REFRESH    107
#define IDC_NEWFOLDER  108
#define IDC_RENAME     109
#define IDC_DELETE     110
#define IDC_DOWNLOAD   111
#define IDC_LIST       112  // report view: name, size, modified; directories first; several rows selectable
#define IDC_STATUS     113  // parts: FTP connection, internet state, local address, dial-up
#define IDC_PROGRESS   114  // inside the status bar while a transfer runs
#define IDC_UPLOAD     115  // the Open dialog; files dropped on the window do the same

// The Dial-up menu is filled when it opens: one item per phonebook entry (IDM_ENTRY +
// index, checked when chosen), then Dial and Hang up.
#define IDM_LIMITS  897  // View: the time limits of a call (the Time limits dialog)
#define IDM_PASSIVE 898  // View: data connections opened by this machine, for the next connection
#define IDM_EXIT    899
#define IDM_DIAL    900
#define IDM_HANGUP  901
#define IDM_ENTRY   1000

// The Time limits dialog: seconds without progress, and in all, after which a call ends;
// how many times a transfer that broke is tried again.
#define IDD_LIMITS   2
#define IDC_TIMEOUT  201
#define IDC_MAXTIME  202
#define IDC_RETRIES  203
