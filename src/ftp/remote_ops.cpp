// Remote file and directory operations on an open FTP connection.
#include "ryinet.h"
#include "../frame/binding.h"
#include "../frame/boxes.h"
#include "handles.h"

namespace {

const DWORD kCurDirLength = RYINET_CURDIR_BYTES;  // what hosts give RyFtpCurDir

// Bind, resolve, call, box when the server refused, release. A missing library or
// entry is silent.
template <typename Fn, typename... Args>
LONG Refusable(const char* entryName, HWND owner, Box refused, Args... args) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    auto op = Resolve<Fn>(inet, entryName);
    if (op && !op(args...)) InfoBox(owner, refused);
    return 0;
}
#define RY_REFUSABLE(fn, owner, box, ...) Refusable<decltype(&::fn)>(#fn, owner, box, __VA_ARGS__)

}  // namespace

extern "C" LONG WINAPI RyFSetDir(DWORD connection, DWORD, LPCSTR directory) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    if (auto setDir = RY_RESOLVE(inet, FtpSetCurrentDirectoryA))
        setDir(AsHandle(connection), directory);
    return 0;
}

extern "C" LONG WINAPI RyFtpCurDir(DWORD connection, HWND owner, LPSTR directory) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    directory[0] = '\0';
    auto curDir = RY_RESOLVE(inet, FtpGetCurrentDirectoryA);
    if (!curDir) {
        InfoBox(owner, Box::CurDirNotFound);
        return 0;
    }
    DWORD length = kCurDirLength;
    curDir(AsHandle(connection), directory, &length);
    return 0;
}

extern "C" LONG WINAPI RyFDelFile(DWORD connection, HWND owner, LPCSTR fileName) {
    return RY_REFUSABLE(FtpDeleteFileA, owner, Box::DeleteFailed, AsHandle(connection), fileName);
}

extern "C" LONG WINAPI RyFRenFile(DWORD connection, HWND owner, LPCSTR existingName,
                                  LPCSTR newName) {
    return RY_REFUSABLE(FtpRenameFileA, owner, Box::RenameFailed, AsHandle(connection),
                        existingName, newName);
}

extern "C" LONG WINAPI RyFtpMd(DWORD connection, HWND owner, LPCSTR directory) {
    return RY_REFUSABLE(FtpCreateDirectoryA, owner, Box::MakeDirFailed, AsHandle(connection),
                        directory);
}

extern "C" LONG WINAPI RyFtpRd(DWORD connection, HWND owner, LPCSTR directory) {
    return RY_REFUSABLE(FtpRemoveDirectoryA, owner, Box::RemoveDirFailed, AsHandle(connection),
                        directory);
}

extern "C" DWORD WINAPI RyFtpOpenFile(HWND owner, DWORD connection, LPCSTR fileName) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    auto open = RY_RESOLVE(inet, FtpOpenFileA);
    if (!open) return 0;
    HINTERNET file =
        open(AsHandle(connection), fileName, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file) InfoBox(owner, Box::OpenFileFailed);
    return FromHandle(file);
}
