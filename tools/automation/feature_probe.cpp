#include "feature_probe.h"
#include <winsock2.h>
#include <ws2tcpip.h>

namespace {
const DWORD kTimeoutMs = 5000;

class Socket {
public:
    explicit Socket(SOCKET s) : s_(s) {}
    ~Socket() { if (s_ != INVALID_SOCKET) closesocket(s_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET Get() const { return s_; }

private:
    SOCKET s_;
};

class Winsock {
public:
    Winsock() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~Winsock() { if (ok_) WSACleanup(); }
    bool Ok() const { return ok_; }

private:
    WSADATA data_;
    bool ok_;
};

// Reads one whole reply (its last line is "ddd text"); appends it to reply.
bool ReadReply(SOCKET s, std::string& pending, std::string& reply) {
    for (;;) {
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            reply += line;
            if (line.size() >= 4 && isdigit(static_cast<unsigned char>(line[0])) && line[3] == ' ') return true;
        }
        char chunk[1024];
        int got = recv(s, chunk, sizeof chunk, 0);
        if (got <= 0 || pending.size() > 65536) return false;
        pending.append(chunk, got);
    }
}
}  // namespace

std::string AskFeatures(const char* host) {
    Winsock winsock;
    if (!winsock.Ok()) return std::string();
    addrinfo hints = {}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host, "21", &hints, &found) != 0) return std::string();
    Socket s(socket(found->ai_family, found->ai_socktype, found->ai_protocol));
    bool connected = s.Get() != INVALID_SOCKET && connect(s.Get(), found->ai_addr, (int)found->ai_addrlen) == 0;
    freeaddrinfo(found);
    if (!connected) return std::string();
    DWORD timeout = kTimeoutMs;
    setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string pending, greeting, features;
    if (!ReadReply(s.Get(), pending, greeting) || greeting[0] != '2') return std::string();
    static const char kFeat[] = "FEAT\r\n";
    if (send(s.Get(), kFeat, sizeof kFeat - 1, 0) != sizeof kFeat - 1) return std::string();
    if (!ReadReply(s.Get(), pending, features)) return std::string();
    static const char kQuit[] = "QUIT\r\n";
    send(s.Get(), kQuit, sizeof kQuit - 1, 0);
    return features;
}
