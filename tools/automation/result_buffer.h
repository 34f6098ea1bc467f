// The result buffer of the server's process, for the exports that write a list of unknown
// length (RyFtpDir, RyRasEnumE) and are never told its size: the host kit's RyKitBuffer,
// whose pages are committed as the DLL writes them. One serves every object: the calls
// run on one thread, and a call that runs inside another (from a box's modal loop) comes
// while the outer one's export writes nothing.
#pragma once
#include "ryinet_kit.h"

// 64 MiB of address space: some 230,000 listing records. A larger result ends the server
// before anything past the buffer is overwritten. NULL when it could not be reserved.
RyKitBuffer* ServerResults();
