// The PE image checksum (the value of the optional header's CheckSum field).
#pragma once
#include <windows.h>

// Sums an open image file from its start; the four bytes at checksumOffset count as
// zero. Returns false when the file cannot be read.
bool PeFileChecksum(HANDLE file, DWORD checksumOffset, DWORD* checksum);
