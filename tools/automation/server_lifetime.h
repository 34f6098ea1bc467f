// The server lives while a client holds an object or a lock on its class: each one takes
// a reference on the process (CoAddRefServerProcess), and the last one let go ends the
// message loop of the server's thread.
#pragma once
#include <windows.h>

void SetServerThread(DWORD threadId);
void ServerProcessAddRef();
void ServerProcessRelease();
// True once any client has held an object or a lock.
bool ServerWasUsed();
