#include "ftp_env.h"
#include <stdlib.h>
#include <fstream>
#include <sstream>

namespace {
std::string Env(const std::string& name) {
    const char* v = getenv(name.c_str());
    return v ? v : "";
}
}  // namespace

FtpServer ServerFromEnvironment(const char* name) {
    std::string prefix = std::string("RYTEST_") + name;
    return {Env(prefix + "_HOST"), Env(prefix + "_ROOT")};
}

std::string WindowsPath(const std::string& unixPath) {
    std::string w = "Z:" + unixPath;
    for (char& c : w)
        if (c == '/') c = '\\';
    return w;
}

std::string FtpServer::root() const { return WindowsPath(unixRoot); }

std::string FtpServer::path(const std::string& relative) const {
    std::string r = relative;
    for (char& c : r)
        if (c == '/') c = '\\';
    return root() + "\\" + r;
}

std::string TempPath(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return temp + name;
}

// Paths are UTF-8, as the tests write their names.
std::wstring WidePath(const std::string& path) {
    std::wstring wide(path.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    return wide;
}

std::string ReadWholeFile(const std::string& windowsPath, bool* ok) {
    FILE* in = _wfopen(WidePath(windowsPath).c_str(), L"rb");
    *ok = in != nullptr;
    std::string bytes;
    char block[65536];
    for (size_t got; in && (got = fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, got);
    if (in) fclose(in);
    return bytes;
}

void WriteWholeFile(const std::string& windowsPath, const std::string& bytes) {
    FILE* out = _wfopen(WidePath(windowsPath).c_str(), L"wb");
    if (!out) return;
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
}

bool FileExists(const std::string& p) {
    DWORD a = GetFileAttributesW(WidePath(p).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& p) {
    DWORD a = GetFileAttributesW(WidePath(p).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
