#include "connected.h"
#include <string.h>
#include "ryinet.h"

void ServerConnection::SetUp() {
    wininet_ = LoadLibraryA("wininet.dll");
    server_ = ServerFromEnvironment(GetParam());
    ASSERT_TRUE(server_.present()) << GetParam();
    // vsftpd serves anonymous users only, with the tree below its anonymous root.
    bool vsftpd = strcmp(GetParam(), "VSFTPD") == 0;
    base_ = vsftpd ? "/root" : "/";
    session_ = RyINetOpen(owner_);
    connection_ = vsftpd ? RyFtpConnect(session_, 0, owner_, server_.host.c_str(), "anonymous", "t@x")
                         : RyFtpConnect(session_, 0, owner_, server_.host.c_str(), kUser, kPassword);
    ASSERT_NE(connection_, 0u);
    RyFSetDir(connection_, 0, base_.c_str());
    boxes_.take();
}

void ServerConnection::TearDown() {
    RyINetClose(connection_, owner_);
    RyINetClose(session_, owner_);
    FreeLibrary(wininet_);
}
