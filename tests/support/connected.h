// A test's session and logged-in connection to one of the run's real servers (the test's
// parameter names it), made through RYINET and closed in host order afterwards.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <string>
#include "boxes.h"
#include "ftp_env.h"

class ServerConnection : public ::testing::TestWithParam<const char*> {
protected:
    explicit ServerConnection(HWND owner) : owner_(owner) {}
    void SetUp() override;
    void TearDown() override;
    HINTERNET connection() const { return reinterpret_cast<HINTERNET>(connection_); }

    const HWND owner_;
    HMODULE wininet_ = nullptr;  // a host keeps the internet library while it holds handles
    FtpServer server_;
    std::string base_;  // where the sample tree is on the server; the connection starts there
    DWORD session_ = 0, connection_ = 0;
    BoxRecorder boxes_;
};
