// Writing the phonebook the stand-in reads; a file of its own, so the stand-in DLL, which
// only reads, does not carry it.
#include "phonebook_service.h"

namespace rasstandin {

void WriteUserPhonebook(const std::string& appData, const std::string& text) {
    SetEnvironmentVariableA("APPDATA", appData.c_str());
    std::string path = appData + kPhonebookBelowAppData;
    for (size_t slash = path.find('\\', appData.size()); slash != std::string::npos; slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (f == INVALID_HANDLE_VALUE) return;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

}  // namespace rasstandin
