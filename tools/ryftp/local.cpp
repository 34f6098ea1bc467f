// This machine's side: the session's local directory and local commands.
#include <windows.h>
#include "command_table.h"
#include "session.h"
#include "text.h"

namespace ryftp {
namespace cmd {

// The session keeps its own local directory: the process's, which every other part of
// the process (a host that runs a session, a test) relies on, stays where it was.
bool Lcd(Session& s, const Args& a) {
    wchar_t full[MAX_PATH] = L"";
    if (!a.empty()) {
        std::wstring path = s.localPath(Wide(a[0]));
        DWORD attributes = GetFileAttributesW(path.c_str());
        DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError()
                      : !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? static_cast<DWORD>(ERROR_DIRECTORY)
                      : GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr) ? 0 : GetLastError();
        if (error) {
            s.say("local directory not changed: %s (error %lu)\n", a[0].c_str(), error);
            return false;
        }
        size_t length = wcslen(full);
        if (length > 3 && full[length - 1] == L'\\') full[length - 1] = L'\0';
        s.localDirectory = full;
    }
    if (s.localDirectory.empty()) GetCurrentDirectoryW(MAX_PATH, full);
    s.say("local directory now %s\n", Utf8(s.localDirectory.empty() ? std::wstring(full) : s.localDirectory).c_str());
    return true;
}

// Runs in the session's local directory; no COMMAND: a shell.
bool Shell(Session& s, const Args& a) {
    if (a.empty() && !s.interactive) {
        s.say("! needs a command in a script\n");
        return false;
    }
    fflush(s.out);
    fflush(stdout);
    std::wstring line = Wide(a.empty() ? "cmd.exe" : "cmd.exe /c " + Joined(a));
    std::wstring directory = s.localDirectory;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        s.say("cannot run: %s\n", Joined(a).c_str());
        return false;
    }
    CloseHandle(process.hThread);
    s.watchdog.waitForUser(true);  // a local command's time is the user's
    WaitForSingleObject(process.hProcess, INFINITE);
    s.watchdog.waitForUser(false);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    if (status != 0) s.say("local command exited %lu\n", status);
    return status == 0;
}

}  // namespace cmd
}  // namespace ryftp
