// RYINET Explorer: a small Windows GUI host of RYINET.dll. It browses an FTP server
// (connect, list, sort, enter, create, rename, delete, download, upload: files chosen or
// dropped on the window; several at once on the kit's pool) and dials phonebook entries,
// passing its main window to every call so that the library's boxes are modal to it. Its
// resources (explorer.rc) give the menu, the keys and the icon.
#pragma once
#include <windows.h>
#include "resource.h"

// The menu bar's Dial-up popup, by position, and the status bar part that says how the
// dial-up stands.
const int kDialMenuPosition = 2;
const int kDialStatusPart = 3;

// Creates the main window (registering its class once) and shows it. Destroying the
// window closes its FTP handles, hangs up its dial and posts WM_QUIT.
HWND CreateExplorerWindow(HINSTANCE instance, int show);

// What the message loop asks first, for each message: the window's keys (its
// accelerators, except while a text field has the focus) and dialog navigation (Tab,
// Enter). True when the message was handled and must not be dispatched.
bool ExplorerTranslateMessage(HWND window, MSG* msg);
