// The local files to upload: the Open dialog's list and a drop's; the folder for several
// downloads (see local_files.h).
#include "local_files.h"
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

namespace {

// Room for the Open dialog's answer: the folder and every name chosen in it, one after
// another. A selection that needs more is refused by the dialog (FNERR_BUFFERTOOSMALL).
const DWORD kListUnits = 64 * 1024;

// The dialog's answer with OFN_ALLOWMULTISELECT | OFN_EXPLORER: strings one after another,
// ended by an empty one. One file is its full path; several are their folder, then each
// name in it.
std::vector<std::wstring> PathsOfList(const WCHAR* list) {
    std::vector<std::wstring> parts;
    for (const WCHAR* p = list; *p; p += parts.back().size() + 1) parts.emplace_back(p);
    if (parts.size() < 2) return parts;
    std::wstring folder = parts[0];
    if (folder.back() != L'\\') folder += L'\\';  // a drive's root has its backslash already
    std::vector<std::wstring> paths;
    for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
    return paths;
}

}  // namespace

std::vector<std::wstring> ChooseFiles(HWND owner, const wchar_t* title) {
    std::vector<WCHAR> list(kListUnits, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"All files\0*.*\0";
    ofn.lpstrFile = list.data();
    ofn.nMaxFile = kListUnits;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) return {};
    return PathsOfList(list.data());
}

std::vector<std::wstring> DroppedFiles(HDROP drop) {
    std::vector<std::wstring> paths;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');  // units, and the terminator
        path.resize(DragQueryFileW(drop, i, &path[0], static_cast<UINT>(path.size())));
        if (!path.empty()) paths.push_back(path);
    }
    DragFinish(drop);
    return paths;
}

// The dialog's resizable style (with Make New Folder) needs COM in an apartment on this
// thread; on a thread already in the multithreaded one it has the plain style.
std::wstring ChooseFolder(HWND owner, const wchar_t* title) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | (SUCCEEDED(com) ? BIF_NEWDIALOGSTYLE : 0);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    WCHAR path[MAX_PATH] = L"";
    if (chosen && !SHGetPathFromIDListW(chosen, path)) path[0] = L'\0';  // no folder of the file system
    CoTaskMemFree(chosen);  // the shell's, allocated for the caller
    if (SUCCEEDED(com)) CoUninitialize();
    return path;
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
