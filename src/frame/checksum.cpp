#include "checksum.h"

// The standard algorithm: 16-bit one's-complement-style sum with the carry folded
// back in, then the file length added.
bool PeFileChecksum(HANDLE file, DWORD checksumOffset, DWORD* checksum) {
    BYTE chunk[2048];  // even, so words never straddle chunks of a regular file
    DWORD sum = 0, pos = 0, got = 0;
    for (;;) {
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) break;
        for (DWORD i = 0; i < got; i += 2, pos += 2) {
            if (pos - checksumOffset < 4) continue;  // the field itself counts as zero
            DWORD word = chunk[i];
            if (i + 1 < got) word |= static_cast<DWORD>(chunk[i + 1]) << 8;
            sum += word;
            sum = (sum & 0xffff) + (sum >> 16);
        }
        if (got & 1) --pos;  // an odd tail only happens at the end of the file
    }
    *checksum = ((sum & 0xffff) + (sum >> 16)) + pos;
    return true;
}
