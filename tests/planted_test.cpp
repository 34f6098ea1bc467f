// RYINET binds the internet library from the system directory, never a WININET.DLL
// lying beside the host (this executable's directory holds a planted one, and the
// process prefers native DLLs).
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include "ryinet.h"

namespace {
const DWORD kPlantedSession = 0x7777;

TEST(PlantedLibrary, IsNeverTheOneBound) {
    ASSERT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "this process must not hold it yet";
    DWORD session = RyINetOpen(nullptr);
    EXPECT_NE(session, 0u);
    EXPECT_NE(session, kPlantedSession);
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "the call released its binding";

    // The control: loaded by bare name, the planted library is the one found, so the
    // assertion above could have failed.
    HMODULE bare = LoadLibraryA("WININET.DLL");
    ASSERT_NE(bare, nullptr);
    auto open = reinterpret_cast<decltype(&InternetOpenA)>(
        reinterpret_cast<void*>(GetProcAddress(bare, "InternetOpenA")));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(reinterpret_cast<DWORD>(open("x", 1, nullptr, nullptr, 0)), kPlantedSession);
    FreeLibrary(bare);
}
}  // namespace
