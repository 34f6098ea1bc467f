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

std::string ReadWholeFile(const std::string& windowsPath, bool* ok) {
    std::ifstream in(windowsPath, std::ios::binary);
    *ok = static_cast<bool>(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteWholeFile(const std::string& windowsPath, const std::string& bytes) {
    std::ofstream(windowsPath, std::ios::binary | std::ios::trunc) << bytes;
}

bool FileExists(const std::string& p) {
    DWORD a = GetFileAttributesA(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& p) {
    DWORD a = GetFileAttributesA(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
