// The real FTP servers the test run started (see tests/servers), as CTest passes them.
#pragma once
#include <windows.h>
#include <string>

struct FtpServer {
    std::string host;      // loopback address, port 21
    std::string unixRoot;  // the served tree on the Linux side
    std::string root() const;  // the same tree as a Windows path, through Wine's Z: drive
    std::string path(const std::string& relative) const;  // a file in the tree, Windows path
    bool present() const { return !host.empty(); }
};

// name is the fixture's name: "PYFTPD", "VSFTPD", "SCRIPTED"
FtpServer ServerFromEnvironment(const char* name);

const char kUser[] = "ryuser";
const char kPassword[] = "rypass";
const char kUnreachableHost[] = "127.0.0.9";  // loopback, nothing listens on 21

// A Linux path as the tests' Windows programs see it, through Wine's Z: drive.
std::string WindowsPath(const std::string& unixPath);

// A file or directory in this Wine prefix's temporary folder.
std::string TempPath(const std::string& name);

// Paths are UTF-8; WidePath gives one as Windows takes it.
std::wstring WidePath(const std::string& path);
std::string ReadWholeFile(const std::string& windowsPath, bool* ok);
void WriteWholeFile(const std::string& windowsPath, const std::string& bytes);
bool FileExists(const std::string& windowsPath);
bool DirectoryExists(const std::string& windowsPath);
