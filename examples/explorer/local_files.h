// The local files the user hands the Explorer to upload: chosen in the Open dialog, or
// dropped on the window from the desktop or a file manager; and the folder several
// downloads go to. Full paths, in UTF-16.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <string>
#include <vector>

// The Open dialog, owned by owner, with several files allowed; none when cancelled.
std::vector<std::wstring> ChooseFiles(HWND owner, const wchar_t* title);

// The shell's folder dialog, owned by owner: a folder of the file system, or "" when
// cancelled.
std::wstring ChooseFolder(HWND owner, const wchar_t* title);

// The paths a WM_DROPFILES carries (files and folders alike). The drop is the system's
// memory until DragFinish, which this calls once the paths are copied.
std::vector<std::wstring> DroppedFiles(HDROP drop);

// Whether a path names a folder.
bool IsFolder(const std::wstring& path);
