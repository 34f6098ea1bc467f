// The release as Windows sees it, on the unpacked zip: the version resource of every
// binary, and the signed library loading as a Windows GUI module and working.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>
#include "ftp_env.h"
#include "ryinet.h"  // for its sizes only: this process binds the release's DLL by path

namespace {

std::string Env(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

const std::string kBin = WindowsPath(Env("RYTEST_RELEASE")) + "\\bin\\";

std::string VersionText(const std::vector<BYTE>& info, const std::string& name) {
    void* value = nullptr;
    UINT length = 0;
    std::string key = "\\StringFileInfo\\040904E4\\" + name;
    return VerQueryValueA(info.data(), key.c_str(), &value, &length) && length ? static_cast<char*>(value) : "";
}

TEST(VersionResource, EveryBinaryNamesTheProductItsVersionAndItself) {
    const std::string version = Env("RYTEST_VERSION");
    int major = 0, minor = 0, patch = 0;
    ASSERT_EQ(sscanf(version.c_str(), "%d.%d.%d", &major, &minor, &patch), 3) << version;
    // What the release ships, and whatever else the build gave a version resource.
    std::set<std::string> binaries;
    // Programs and libraries: bin/ also holds the automation server's type library.
    for (const auto& entry : std::filesystem::directory_iterator(kBin)) {
        std::string extension = entry.path().extension().string();
        for (char& c : extension) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (extension == ".dll" || extension == ".exe") binaries.insert(entry.path().string());
    }
    std::ifstream listed(WindowsPath(Env("RYTEST_VERSIONED_LIST")));
    for (std::string line; std::getline(listed, line);) binaries.insert(WindowsPath(line));
    ASSERT_EQ(binaries.count(kBin + "RYINET.dll"), 1u);

    for (const std::string& path : binaries) {
        SCOPED_TRACE(path);
        std::vector<BYTE> info(GetFileVersionInfoSizeA(path.c_str(), nullptr));
        ASSERT_FALSE(info.empty());
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, info.size(), info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(minor, major)));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, patch)));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        bool dll = _stricmp(path.c_str() + path.size() - 4, ".dll") == 0;
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(dll ? VFT_DLL : VFT_APP));
        EXPECT_EQ(VersionText(info, "ProductName"), "RYINET");
        EXPECT_EQ(VersionText(info, "ProductVersion"), version);
        EXPECT_EQ(VersionText(info, "FileVersion"), version);
        EXPECT_EQ(VersionText(info, "OriginalFilename"), path.substr(path.rfind('\\') + 1));
        EXPECT_NE(VersionText(info, "FileDescription"), "");
        EXPECT_EQ(VersionText(info, "LegalCopyright").rfind("Copyright (C) ", 0), 0u);
    }
}

TEST(SignedLibrary, LoadsAsAWindowsGuiModuleAndWorks) {
    HMODULE m = LoadLibraryA((kBin + "RYINET.dll").c_str());
    ASSERT_NE(m, nullptr) << GetLastError();
    auto base = reinterpret_cast<const BYTE*>(m);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(nt->OptionalHeader.MajorSubsystemVersion, 4);
    EXPECT_EQ(nt->OptionalHeader.MinorSubsystemVersion, 0);
    EXPECT_GT(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size, 0u) << "not signed";
    auto getIp = reinterpret_cast<LONG(WINAPI*)(LPSTR, LPCSTR)>(
        reinterpret_cast<void*>(GetProcAddress(m, "RyGetIp")));
    ASSERT_NE(getIp, nullptr);
    char ip[RYINET_ADDRESS_BYTES] = "";
    EXPECT_EQ(getIp(ip, nullptr), 0);
    EXPECT_NE(ip[0], '\0');
    FreeLibrary(m);
}

}  // namespace
