// What the hosts rely on of the platform they run on, whichever way its 32-bit code runs
// (natively, or emulated: cmake/i386-route.sh). ryftp's result buffer commits its pages
// from a vectored handler on the first write, so an access fault must reach that handler
// as what it is, with its address and whether it was a write.
#include <windows.h>
#include <gtest/gtest.h>

namespace {

char* g_page;
EXCEPTION_RECORD g_seen;

LONG WINAPI CommitOnFirstFault(EXCEPTION_POINTERS* e) {
    if (g_seen.ExceptionCode) return EXCEPTION_CONTINUE_SEARCH;
    g_seen = *e->ExceptionRecord;
    // Committed whatever the report says, so the faulting access goes on and the test
    // fails on the report instead of faulting again.
    VirtualAlloc(g_page, 4096, MEM_COMMIT, PAGE_READWRITE);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(AccessFault, ReachesAVectoredHandlerWithItsAddressAndKind) {
    struct Case { const char* what; bool write; ULONG_PTR flag; } cases[] = {
        {"read", false, 0}, {"write", true, 1}};
    PVOID handler = AddVectoredExceptionHandler(1, CommitOnFirstFault);
    for (const Case& c : cases) {
        g_seen = EXCEPTION_RECORD{};
        g_page = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS));
        volatile char* at = g_page + 100;
        if (c.write) *at = 1;
        else (void)*at;
        EXPECT_EQ(g_seen.ExceptionCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)) << c.what;
        EXPECT_EQ(g_seen.NumberParameters, 2u) << c.what;
        EXPECT_EQ(g_seen.ExceptionInformation[0], c.flag) << c.what;
        EXPECT_EQ(g_seen.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(at)) << c.what;
        VirtualFree(g_page, 0, MEM_RELEASE);
    }
    RemoveVectoredExceptionHandler(handler);
}

}  // namespace
