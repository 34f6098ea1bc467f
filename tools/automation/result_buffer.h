// A result buffer for the exports that write a list of unknown length (RyFtpDir,
// RyRasEnumE) and are never told its size. The buffer reserves address space and
// commits each page only when the DLL first writes to it, so a short listing costs a
// page and a long one as much as it needs, up to the reservation.
#pragma once
#include <windows.h>

class ResultBuffer {
public:
    // 64 MiB: some 230,000 listing records of RYINET_LISTING_ENTRY_BYTES.
    static const SIZE_T kReserved = 64u << 20;

    ResultBuffer();
    ~ResultBuffer();
    ResultBuffer(const ResultBuffer&) = delete;
    ResultBuffer& operator=(const ResultBuffer&) = delete;

    // NULL when the address space could not be had.
    char* Data() const { return base_; }

private:
    static LONG CALLBACK CommitOnWrite(EXCEPTION_POINTERS* info);
    char* base_;
    PVOID handler_;
    ResultBuffer* outer_;
};
