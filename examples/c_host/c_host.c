/*
 * c_host SERVER USER PASSWORD [PATTERN]: lists a remote directory through RYINET.dll,
 * one record per line. A GUI host does the same and passes its main window as owner,
 * so that the boxes RYINET shows on failure are modal to it.
 */
#include <stdio.h>
#include <windows.h>
#include <ryinet.h>
#include <ryinet_listing.h>

/* The listing buffer's size is never passed: RYINET writes the whole listing, at most
 * RYINET_LISTING_ENTRY_BYTES per entry plus one, RYINET_LISTING_BYTES(entries) in all.
 * Size it for the largest directory you expect; the no-access page behind it turns a
 * larger listing into a fault at once instead of silently overwritten memory. (A host
 * in C++ or C can take ryinet_kit.h's RyKitBuffer instead, which grows as written.) */
#define MAX_ENTRIES 10000
#define LISTING_BYTES RYINET_LISTING_BYTES(MAX_ENTRIES)

static char *AllocListing(void) {
    SYSTEM_INFO si;
    SIZE_T size, guard;
    char *p;
    DWORD old;
    GetSystemInfo(&si);
    size = (LISTING_BYTES + si.dwPageSize - 1) / si.dwPageSize * si.dwPageSize;
    guard = si.dwPageSize;
    p = VirtualAlloc(NULL, size + guard, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (p && !VirtualProtect(p + size, guard, PAGE_NOACCESS, &old)) {
        VirtualFree(p, 0, MEM_RELEASE);
        p = NULL;
    }
    return p;
}

/* Records are "name;MM/DD/YYYY  hh:mm;size|"; names are not escaped, so a name may
 * itself hold ';' or '|'. The listing reader finds where each record really ends. */
static void PrintRecords(const char *listing) {
    const char *start = listing, *next = listing;
    RyListingEntry entry;
    while (RyListingNext(&next, &entry) == 1) {
        printf("%.*s\n", (int)(next - 1 - start), start); /* without its '|' */
        start = next;
    }
}

int main(int argc, char **argv) {
    const HWND owner = NULL; /* a console program has no window of its own */
    HMODULE wininet;
    DWORD session, ftp;
    char *listing;
    int status = 1;

    if (argc < 4) {
        fprintf(stderr, "usage: c_host SERVER USER PASSWORD [PATTERN]\n");
        return 2;
    }
    listing = AllocListing();
    if (!listing) return 1;
    /* RYINET loads WININET only for the length of each call; the handles it returns
     * stay valid only while WININET stays loaded, so the host keeps a reference. */
    wininet = LoadLibraryA("wininet.dll");

    session = RyINetOpen(owner);
    if (session) {
        ftp = RyFtpConnect(session, 0, owner, argv[1], argv[2], argv[3]);
        if (ftp) {
            if (RyFtpDir(ftp, owner, argc > 4 ? argv[4] : "*", 0, listing) == 0) {
                PrintRecords(listing);
                status = 0;
            } else {
                printf("no entries\n");
            }
            RyINetClose(ftp, owner); /* connections before their session */
        }
        RyINetClose(session, owner);
    }
    if (wininet) FreeLibrary(wininet);
    VirtualFree(listing, 0, MEM_RELEASE);
    return status;
}
