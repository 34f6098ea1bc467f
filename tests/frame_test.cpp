// The module as the loader and a host see it: entry, export table, calling frame,
// imports, the integrity check at load, and the per-call internet binding.
#include <windows.h>
#include <gtest/gtest.h>
#include <imagehlp.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "boxes.h"
#include "entries.h"
#include "ftp_env.h"
#include "iat.h"
#include "ryinet.h"
#include "stack_args.h"

namespace {

const BYTE* Base() { return reinterpret_cast<const BYTE*>(Ryinet()); }
const IMAGE_NT_HEADERS32* Nt() {
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        Base() + reinterpret_cast<const IMAGE_DOS_HEADER*>(Base())->e_lfanew);
}

std::string ModulePath() {
    char path[MAX_PATH];
    GetModuleFileNameA(Ryinet(), path, MAX_PATH);
    return path;
}

// ---- Entry ------------------------------------------------------------------------

TEST(Entry, EveryCodeButProcessAttachReturnsOneAndShowsNothing) {
    BoxRecorder boxes;
    for (DWORD code : std::vector<DWORD>{DLL_PROCESS_DETACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH, 7, 0xFFFFFFFF})
        EXPECT_EQ(DllEntryPoint(reinterpret_cast<HINSTANCE>(Ryinet()), code, nullptr), TRUE) << code;
    EXPECT_TRUE(boxes.take().empty());
}

TEST(Entry, IsThePeEntryPointItself) {
    FARPROC exported = GetProcAddress(Ryinet(), "DllEntryPoint");
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(exported), Base() + Nt()->OptionalHeader.AddressOfEntryPoint);
}

// ---- Export table and calling frame ---------------------------------------------

struct Export {
    const char* name;
    WORD ordinal;
    int argumentBytes;
};
const Export kExports[] = {
    {"DllEntryPoint", 1, 12}, {"RdlParms", 2, 12},     {"RyRasDial", 3, 16},
    {"RyRasEnumE", 4, 8},     {"RyINetConn", 5, 0},    {"RyINetOpen", 6, 4},
    {"RyINetClose", 7, 8},    {"RyFtpConnect", 8, 24}, {"RyFtpDir", 9, 20},
    {"RyFSetDir", 10, 12},    {"RyFtpCurDir", 11, 12}, {"RyFDelFile", 12, 12},
    {"RyFRenFile", 13, 16},   {"RyFtpMd", 14, 12},     {"RyFtpRd", 15, 12},
    {"RyFtpOpenFile", 16, 12}, {"RyGetIp", 17, 8},
};

TEST(ExportTable, HoldsExactlyTheNamesAtTheirOrdinals) {
    const IMAGE_DATA_DIRECTORY& d = Nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base() + d.VirtualAddress);
    EXPECT_EQ(dir->Base, 1u);
    EXPECT_EQ(dir->NumberOfFunctions, std::size(kExports));
    ASSERT_EQ(dir->NumberOfNames, std::size(kExports));
    auto names = reinterpret_cast<const DWORD*>(Base() + dir->AddressOfNames);
    auto ordinals = reinterpret_cast<const WORD*>(Base() + dir->AddressOfNameOrdinals);
    std::map<std::string, WORD> actual;
    for (DWORD i = 0; i < dir->NumberOfNames; ++i)
        actual[reinterpret_cast<const char*>(Base() + names[i])] = ordinals[i] + dir->Base;
    std::map<std::string, WORD> expected;
    for (const Export& e : kExports) expected[e.name] = e.ordinal;
    EXPECT_EQ(actual, expected);
    for (const Export& e : kExports)
        EXPECT_EQ(GetProcAddress(Ryinet(), e.name), GetProcAddress(Ryinet(), MAKEINTRESOURCEA(e.ordinal)))
            << e.name;
}

int __cdecl CallerCleans(int a, int b) { return a + b; }

TEST(CallingFrame, TheMeasureSeesWhatTheCalleeRemoves) {
    MeasuredCall calleeCleans = CallMeasured(reinterpret_cast<FARPROC>(&lstrlenA), {reinterpret_cast<DWORD>("four")});
    EXPECT_EQ(calleeCleans.result, 4u);
    EXPECT_EQ(calleeCleans.removedBytes, 4);
    MeasuredCall callerCleans = CallMeasured(reinterpret_cast<FARPROC>(&CallerCleans), {2, 3});
    EXPECT_EQ(callerCleans.result, 5u);
    EXPECT_EQ(callerCleans.removedBytes, 0);
}

TEST(CallingFrame, EveryExportRemovesExactlyItsArgumentBytes) {
    BoxRecorder boxes;  // several of these calls fail on purpose and would show boxes
    HMODULE wininet = LoadLibraryA("wininet.dll");
    char buffer[4096];
    char tooLong[300];
    memset(tooLong, 'e', sizeof tooLong - 1);
    tooLong[sizeof tooLong - 1] = '\0';
    auto p = [](const void* ptr) { return reinterpret_cast<DWORD>(ptr); };
    const DWORD ignored = 0xA5A5A5A5;
    DWORD self = p(Ryinet());
    std::map<std::string, std::vector<DWORD>> args = {
        {"DllEntryPoint", {self, DLL_THREAD_ATTACH, 0}},
        {"RdlParms", {p(tooLong), p(buffer), p(buffer)}},
        {"RyRasDial", {ignored, p(tooLong), p("u"), p("p")}},
        {"RyRasEnumE", {ignored, p(buffer)}},
        {"RyINetConn", {}},
        {"RyINetOpen", {0}},
        {"RyINetClose", {0, 0}},
        {"RyFtpConnect", {0, ignored, 0, p("127.0.0.9"), p("u"), p("p")}},
        {"RyFtpDir", {0, 0, p("*"), ignored, p(buffer)}},
        {"RyFSetDir", {0, ignored, p("/")}},
        {"RyFtpCurDir", {0, 0, p(buffer)}},
        {"RyFDelFile", {0, 0, p("x")}},
        {"RyFRenFile", {0, 0, p("x"), p("y")}},
        {"RyFtpMd", {0, 0, p("x")}},
        {"RyFtpRd", {0, 0, p("x")}},
        {"RyFtpOpenFile", {0, 0, p("x")}},
        {"RyGetIp", {p(buffer), 0}},
    };
    for (const Export& e : kExports) {
        const std::vector<DWORD>& a = args.at(e.name);
        ASSERT_EQ(static_cast<int>(a.size()) * 4, e.argumentBytes) << e.name;
        FARPROC fn = GetProcAddress(Ryinet(), e.name);
        ASSERT_NE(fn, nullptr) << e.name;
        MeasuredCall call;
        switch (a.size()) {
        case 0: call = CallMeasured(fn, {}); break;
        case 1: call = CallMeasured(fn, {a[0]}); break;
        case 2: call = CallMeasured(fn, {a[0], a[1]}); break;
        case 3: call = CallMeasured(fn, {a[0], a[1], a[2]}); break;
        case 4: call = CallMeasured(fn, {a[0], a[1], a[2], a[3]}); break;
        case 5: call = CallMeasured(fn, {a[0], a[1], a[2], a[3], a[4]}); break;
        default: call = CallMeasured(fn, {a[0], a[1], a[2], a[3], a[4], a[5]}); break;
        }
        EXPECT_EQ(call.removedBytes, e.argumentBytes) << e.name;
    }
    FreeLibrary(wininet);
}

extern "C" int CHostOpensAndClosesASession(void);

TEST(Header, ServesAHostWrittenInC) {
    HMODULE wininet = LoadLibraryA("wininet.dll");
    EXPECT_TRUE(CHostOpensAndClosesASession());
    FreeLibrary(wininet);
}

// ---- Imports ----------------------------------------------------------------------

TEST(Imports, OnlyKernelUserSocketsAndRemoteAccess) {
    const IMAGE_DATA_DIRECTORY& d = Nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::set<std::string> dlls;
    for (auto imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(Base() + d.VirtualAddress); imp->Name; ++imp) {
        std::string name = reinterpret_cast<const char*>(Base() + imp->Name);
        for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        dlls.insert(name);
    }
    EXPECT_EQ(dlls, (std::set<std::string>{"KERNEL32.DLL", "USER32.DLL", "WSOCK32.DLL", "RASAPI32.DLL"}));
}

// ---- Integrity check at load ------------------------------------------------------

DWORD CheckSumOffset(const std::string& image) {
    DWORD lfanew = *reinterpret_cast<const DWORD*>(&image[0x3C]);
    return lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.CheckSum);
}

// The platform's own implementation of the algorithm, as the oracle.
DWORD PlatformCheckSum(std::string& image) {
    DWORD stored = 0, computed = 0;
    CheckSumMappedFile(&image[0], image.size(), &stored, &computed);
    return computed;
}

DWORD StoredCheckSum(const std::string& image) {
    return *reinterpret_cast<const DWORD*>(&image[CheckSumOffset(image)]);
}

void SetCheckSum(std::string& image, DWORD value) {
    *reinterpret_cast<DWORD*>(&image[CheckSumOffset(image)]) = value;
}

class Integrity : public ::testing::Test {
protected:
    void SetUp() override {
        bool ok = false;
        image_ = ReadWholeFile(ModulePath(), &ok);
        ASSERT_TRUE(ok);
        ASSERT_GT(image_.size(), 1024u);
    }
    // Loads a copy of the image under its own file name and reports whether the loader
    // accepted it.
    bool Loads(const std::string& image, const char* name, DWORD* error) {
        std::string path = TempPath(name);
        WriteWholeFile(path, image);
        SetLastError(0);
        HMODULE m = LoadLibraryA(path.c_str());
        *error = GetLastError();
        if (m) FreeLibrary(m);
        DeleteFileA(path.c_str());
        return m != nullptr;
    }
    std::string image_;
};

TEST_F(Integrity, TheBuiltModuleCarriesTheCorrectCheckSum) {
    DWORD stored = StoredCheckSum(image_);
    EXPECT_NE(stored, 0u);
    EXPECT_EQ(stored, PlatformCheckSum(image_));
}

TEST_F(Integrity, TheStampedModuleLoadsUnderAnyName) {
    DWORD error;
    EXPECT_TRUE(Loads(image_, "rycopy1.dll", &error)) << error;
}

TEST_F(Integrity, AZeroCheckSumRefusesTheLoad) {
    SetCheckSum(image_, 0);
    DWORD error;
    EXPECT_FALSE(Loads(image_, "rycopy3.dll", &error));
}

TEST_F(Integrity, AChangedModuleLoadsAgainOnceRestamped) {
    // A harmless change: one byte of the DOS stub's message.
    image_[0x60] ^= 0x20;
    DWORD error;
    EXPECT_FALSE(Loads(image_, "rycopy4.dll", &error));
    SetCheckSum(image_, PlatformCheckSum(image_));
    EXPECT_TRUE(Loads(image_, "rycopy5.dll", &error)) << error;
}

// ---- The per-call internet binding ------------------------------------------------

std::vector<std::string> g_loaded;
int g_freed = 0;
HMODULE g_wininet = nullptr;

HMODULE WINAPI CountingLoadLibraryA(LPCSTR name) {
    g_loaded.push_back(name);
    HMODULE m = LoadLibraryA(name);
    if (m) g_wininet = m;
    return m;
}
BOOL WINAPI CountingFreeLibrary(HMODULE m) {
    if (m == g_wininet) ++g_freed;
    return FreeLibrary(m);
}

class Binding : public ::testing::Test {
protected:
    void SetUp() override { g_loaded.clear(); g_freed = 0; }
    std::string SystemWininet() {
        char dir[MAX_PATH];
        GetSystemDirectoryA(dir, MAX_PATH);
        return std::string(dir) + "\\WININET.DLL";
    }
    ImportPatch load_{Ryinet(), "KERNEL32.dll", "LoadLibraryA", reinterpret_cast<void*>(&CountingLoadLibraryA)};
    ImportPatch free_{Ryinet(), "KERNEL32.dll", "FreeLibrary", reinterpret_cast<void*>(&CountingFreeLibrary)};
    BoxRecorder boxes_;
    EntryControl entries_;
};

TEST_F(Binding, EachCallLoadsFromTheSystemDirectoryAndReleasesItsOwnReference) {
    ASSERT_TRUE(load_.active() && free_.active());
    DWORD session = RyINetOpen(nullptr);
    ASSERT_NE(session, 0u);
    EXPECT_EQ(g_loaded, std::vector<std::string>{SystemWininet()});
    EXPECT_EQ(g_freed, 1);
    // The session lives on after the release, as long as the host holds the library.
    RyINetClose(session, nullptr);
    EXPECT_EQ(g_loaded.size(), 2u);
    EXPECT_EQ(g_freed, 2);
}

TEST_F(Binding, IsReleasedOnEveryPath) {
    entries_.refuse("InternetOpenA");
    entries_.refuse("InternetConnectA");
    entries_.refuse("InternetCloseHandle");
    entries_.refuse("FtpFindFirstFileA");
    entries_.refuse("FtpGetCurrentDirectoryA");
    char buffer[300];
    RyINetOpen(nullptr);
    RyFtpConnect(0, 0, nullptr, "127.0.0.9", "u", "p");
    RyINetClose(0, nullptr);
    RyFtpDir(0, nullptr, "*", 0, buffer);
    RyFtpCurDir(0, nullptr, buffer);
    RyINetConn();
    RyFSetDir(0, 0, "x");
    RyFDelFile(0, nullptr, "x");
    RyFRenFile(0, nullptr, "x", "y");
    RyFtpMd(0, nullptr, "x");
    RyFtpRd(0, nullptr, "x");
    RyFtpOpenFile(nullptr, 0, "x");
    EXPECT_EQ(g_loaded.size(), 12u);
    EXPECT_EQ(g_freed, 12);
}

}  // namespace
